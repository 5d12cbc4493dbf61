#include "fake_files.h"

#include <algorithm>
#include <cstdlib>

namespace {

FileScript script;
const HANDLE kFile = reinterpret_cast<HANDLE>(0xF11E);
const HANDLE kHold = reinterpret_cast<HANDLE>(0xF12E);
const HANDLE kFolder = reinterpret_cast<HANDLE>(0xF07D);
char descriptor;  // the address stands for the descriptor that was made
std::size_t folderCreateCount = 0;

std::wstring HandleName(HANDLE handle) {
    if (handle == kFile) return L"file";
    if (handle == kHold) return L"hold";
    if (handle == kFolder) return L"folder";
    return L"unexpected";
}

BOOL Scripted(bool succeeds) {
    if (!succeeds) SetLastError(ERROR_ACCESS_DENIED);
    return succeeds ? TRUE : FALSE;
}

}  // namespace

FileScript& Files() { return script; }
void ResetFiles() {
    script = FileScript{};
    folderCreateCount = 0;
}

extern "C" DWORD WINAPI GetTempPathW(DWORD length, LPWSTR buffer) {
    script.calls.push_back(L"temp " + std::to_wstring(length));
    std::fill(buffer, buffer + length, L'\0');
    std::copy_n(script.tempPath.begin(), std::min<std::size_t>(script.tempPath.size(), length), buffer);
    return script.tempPathResult != 0 ? script.tempPathResult : static_cast<DWORD>(script.tempPath.size());
}

extern "C" BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                                             PSECURITY_DESCRIPTOR* made, PULONG) {
    script.calls.push_back(L"descriptor " + std::wstring(text) + (revision == SDDL_REVISION_1 ? L"" : L" unexpected"));
    if (script.descriptorFails) return Scripted(false);
    *made = &descriptor;
    return TRUE;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL memory) {
    if (memory == &descriptor) {
        script.calls.push_back(L"free descriptor");
    } else {
        // The real error texts: on Linux the layer's FormatMessageW allocates
        // them with malloc. (On Windows they never reach this stand-in.)
        std::free(memory);
    }
    return nullptr;
}

extern "C" NTSTATUS NTAPI NtCreateFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                       PIO_STATUS_BLOCK status, PLARGE_INTEGER allocation, ULONG, ULONG share,
                                       ULONG disposition, ULONG options, PVOID extended, ULONG extendedLength) {
    const UNICODE_STRING& name = *attributes->ObjectName;
    const bool held = access == (FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE) &&
                      share == (FILE_SHARE_READ | FILE_SHARE_WRITE) && disposition == FILE_CREATE &&
                      options == (FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT) &&
                      attributes->SecurityDescriptor == &descriptor && attributes->RootDirectory == nullptr &&
                      allocation == nullptr && extended == nullptr && extendedLength == 0 && status != nullptr;
    script.calls.push_back((held ? L"make folder " : L"make folder unexpected ") +
                           std::wstring(name.Buffer, name.Length / sizeof(wchar_t)));
    const NTSTATUS result = folderCreateCount < script.folderCreates.size() ? script.folderCreates[folderCreateCount] : 0;
    ++folderCreateCount;
    if (result >= 0) *handle = kFolder;
    return result;
}

extern "C" BOOL WINAPI RemoveDirectoryW(LPCWSTR path) {
    script.calls.push_back(L"remove folder " + std::wstring(path));
    return Scripted(script.removeSucceeds);
}

extern "C" BOOL WINAPI DeleteFileW(LPCWSTR path) {
    script.calls.push_back(L"delete " + std::wstring(path));
    return Scripted(script.deleteSucceeds);
}

extern "C" BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    script.calls.push_back(L"move " + std::wstring(from) + L" to " + to + (flags == 0 ? L"" : L" replacing"));
    return Scripted(script.moveSucceeds);
}

extern "C" DWORD WINAPI GetCurrentProcessId() {
    return 4242;
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    const bool plain = attributes == nullptr && templateFile == nullptr;
    const bool exclusiveWrite = plain && access == GENERIC_WRITE && share == 0 && disposition == CREATE_ALWAYS &&
                                flags == (FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    const bool sharedRead = plain && access == GENERIC_READ && share == FILE_SHARE_READ &&
                            disposition == OPEN_EXISTING && flags == FILE_ATTRIBUTE_NORMAL;
    script.calls.push_back((exclusiveWrite ? L"create " : sharedRead ? L"hold " : L"open unexpected ") +
                           std::wstring(path));
    const DWORD error = sharedRead ? script.holdError : script.createError;
    if (error != 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    return sharedRead ? kHold : kFile;
}

extern "C" BOOL WINAPI WriteFile(HANDLE file, LPCVOID, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const int index = static_cast<int>(script.writeSizes.size());
    script.writeSizes.push_back(size);
    script.calls.push_back(file == kFile && overlapped == nullptr ? L"write" : L"write unexpected");
    if (index == script.failingWrite) {
        SetLastError(script.writeError);
        return FALSE;
    }
    *written = index == script.shortWrite ? size - 1 : size;
    script.bytesWritten += *written;
    return TRUE;
}

extern "C" BOOL WINAPI FlushFileBuffers(HANDLE file) {
    script.calls.push_back(L"flush " + HandleName(file));
    return TRUE;
}

extern "C" BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwVolumeSerialNumber = 0x5E71A1;
    information->nFileIndexLow = file == kHold && script.holdIsAnotherFile ? 8 : 7;
    return file == kFile || file == kHold ? TRUE : Scripted(false);
}

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    script.calls.push_back(L"close " + HandleName(handle));
    return TRUE;
}
