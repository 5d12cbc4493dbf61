#include "fake_files.h"

#include <algorithm>
#include <cstring>

namespace {

FileScript script;
std::size_t folderCreateCount = 0;
int randomCalls = 0;
std::size_t finalPathCalls = 0;
std::wstring madeFolder;

// Handles name what they were opened for: the writer, the hold, the
// staging folder, searches, and the paths opened for examining or
// deleting, by number.
const HANDLE kFile = reinterpret_cast<HANDLE>(0xF11E);
const HANDLE kHold = reinterpret_cast<HANDLE>(0xF12E);
const HANDLE kFolder = reinterpret_cast<HANDLE>(0xF07D);
std::vector<std::wstring> opened;  // paths of the other handles, from 0x1000 on
struct Search {
    std::vector<std::wstring> names;
    std::size_t next = 0;
};
std::vector<Search> searches;  // from 0x2000 on

HANDLE HandleAt(std::uintptr_t base, std::size_t index) {
    return reinterpret_cast<HANDLE>(base + index);
}

const std::wstring* OpenedPath(HANDLE handle) {
    const auto index = reinterpret_cast<std::uintptr_t>(handle) - 0x1000;
    return index < opened.size() ? &opened[index] : nullptr;
}

std::wstring HandleName(HANDLE handle) {
    if (handle == kFile) return L"file";
    if (handle == kHold) return L"hold";
    if (handle == kFolder) return L"folder";
    const std::wstring* path = OpenedPath(handle);
    return path != nullptr ? *path : L"unexpected";
}

std::wstring TempFolder() {
    return script.windowsFolder + L"\\Temp\\";
}

bool IsTempEntry(const std::wstring& path, std::wstring& name) {
    if (path.rfind(TempFolder(), 0) != 0) return false;
    name = path.substr(TempFolder().size());
    return script.tempEntries.count(name) != 0;
}

HANDLE Fails(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenPath(const std::wstring& path, const std::wstring& purpose) {
    script.calls.push_back(purpose + L" " + path);
    std::wstring name;
    if (purpose == L"examine" && IsTempEntry(path, name) && script.heldByAnotherRun.count(name) != 0) {
        return Fails(ERROR_SHARING_VIOLATION);
    }
    opened.push_back(path);
    ++script.openPaths;
    return HandleAt(0x1000, opened.size() - 1);
}

}  // namespace

FileScript& Files() { return script; }
void ResetFiles() {
    script = FileScript{};
    folderCreateCount = 0;
    randomCalls = 0;
    finalPathCalls = 0;
    madeFolder.clear();
    opened.clear();
    searches.clear();
}

extern "C" UINT WINAPI GetSystemWindowsDirectoryW(LPWSTR buffer, UINT length) {
    std::fill(buffer, buffer + length, L'\0');
    std::copy_n(script.windowsFolder.begin(), std::min<std::size_t>(script.windowsFolder.size(), length), buffer);
    return script.windowsFolderResult != 0 ? script.windowsFolderResult : static_cast<UINT>(script.windowsFolder.size());
}

extern "C" NTSTATUS WINAPI BCryptGenRandom(BCRYPT_ALG_HANDLE algorithm, PUCHAR buffer, ULONG size, ULONG flags) {
    ++randomCalls;
    if (script.randomFails || algorithm != nullptr || flags != BCRYPT_USE_SYSTEM_PREFERRED_RNG) {
        return static_cast<NTSTATUS>(0xC0000001);
    }
    std::memset(buffer, randomCalls, size);
    return 0;
}

extern "C" NTSTATUS NTAPI NtCreateFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                       PIO_STATUS_BLOCK status, PLARGE_INTEGER allocation, ULONG, ULONG share,
                                       ULONG disposition, ULONG options, PVOID extended, ULONG extendedLength) {
    const UNICODE_STRING& name = *attributes->ObjectName;
    const bool held = access == (FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE) &&
                      share == (FILE_SHARE_READ | FILE_SHARE_WRITE) && disposition == FILE_CREATE &&
                      options == (FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT) &&
                      attributes->SecurityDescriptor != nullptr && attributes->RootDirectory == nullptr &&
                      allocation == nullptr && extended == nullptr && extendedLength == 0 && status != nullptr;
    const std::wstring path(name.Buffer, name.Length / sizeof(wchar_t));
    script.calls.push_back((held ? L"make folder " : L"make folder unexpected ") + path);
    const NTSTATUS result = folderCreateCount < script.folderCreates.size() ? script.folderCreates[folderCreateCount] : 0;
    ++folderCreateCount;
    if (result >= 0) {
        *handle = kFolder;
        madeFolder = path.substr(4);  // after "\??\"
    }
    return result;
}

extern "C" DWORD WINAPI GetFinalPathNameByHandleW(HANDLE handle, LPWSTR path, DWORD length, DWORD flags) {
    const std::wstring scripted = finalPathCalls < script.finalPaths.size() ? script.finalPaths[finalPathCalls] : L"";
    ++finalPathCalls;
    const std::wstring reported = L"\\\\?\\" + (scripted.empty() ? madeFolder : scripted);
    if (handle != kFolder || flags != 0 || reported.size() >= length) return 0;
    std::copy(reported.begin(), reported.end(), path);
    path[reported.size()] = L'\0';
    return static_cast<DWORD>(reported.size());
}

extern "C" HANDLE WINAPI FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW found) {
    const std::wstring text(pattern);
    script.calls.push_back(L"list " + text);
    Search search;
    if (text == TempFolder() + L"VeltoBootstrap-*") {
        for (const auto& entry : script.tempEntries) search.names.push_back(entry.first);
    } else if (script.contents.count(text.substr(0, text.size() - 2)) != 0) {
        search.names = script.contents[text.substr(0, text.size() - 2)];
    }
    if (search.names.empty()) return Fails(ERROR_FILE_NOT_FOUND);
    searches.push_back(search);
    const HANDLE handle = HandleAt(0x2000, searches.size() - 1);
    FindNextFileW(handle, found);
    return handle;
}

extern "C" BOOL WINAPI FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW found) {
    Search& search = searches.at(reinterpret_cast<std::uintptr_t>(handle) - 0x2000);
    if (search.next == search.names.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *found = WIN32_FIND_DATAW{};
    const std::wstring& name = search.names[search.next++];
    std::copy(name.begin(), name.end(), found->cFileName);
    return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE) {
    return TRUE;
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    const bool plain = attributes == nullptr && templateFile == nullptr;
    const bool noFollow = flags == (FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (plain && noFollow && disposition == OPEN_EXISTING) {
        if (access == FILE_READ_ATTRIBUTES) return OpenPath(path, L"attributes");
        if (access == DELETE && share == (FILE_SHARE_READ | FILE_SHARE_WRITE)) return OpenPath(path, L"delete");
        if (access == (DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES) && share == (FILE_SHARE_READ | FILE_SHARE_WRITE)) {
            return OpenPath(path, L"examine");
        }
    }
    const bool exclusiveWrite = plain && access == GENERIC_WRITE && share == 0 && disposition == CREATE_ALWAYS &&
                                flags == (FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    const bool sharedRead = plain && access == GENERIC_READ && share == FILE_SHARE_READ &&
                            disposition == OPEN_EXISTING && flags == FILE_ATTRIBUTE_NORMAL;
    script.calls.push_back((exclusiveWrite ? L"create " : sharedRead ? L"hold " : L"open unexpected ") +
                           std::wstring(path));
    const DWORD error = sharedRead ? script.holdError : script.createError;
    if (error != 0) return Fails(error);
    return sharedRead ? kHold : kFile;
}

// The deletions, in order, are what the tests look at.
extern "C" BOOL WINAPI SetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS type, LPVOID information,
                                                  DWORD size) {
    const bool deletes = type == FileDispositionInfo && size == sizeof(FILE_DISPOSITION_INFO) &&
                         static_cast<FILE_DISPOSITION_INFO*>(information)->DeleteFile;
    const std::wstring path = HandleName(handle);
    script.calls.push_back((deletes ? L"deleted " : L"unexpected ") + path);
    const std::size_t slash = path.find_last_of(L'\\');
    auto folder = script.contents.find(path.substr(0, slash));
    if (slash != std::wstring::npos && folder != script.contents.end()) {
        auto& names = folder->second;
        names.erase(std::remove(names.begin(), names.end(), path.substr(slash + 1)), names.end());
    }
    return TRUE;
}

// A folder of the script's, or a link; every other path is a file.
extern "C" BOOL WINAPI GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    *information = BY_HANDLE_FILE_INFORMATION{};
    const std::wstring* path = OpenedPath(handle);
    std::wstring name;
    const bool inTemp = path != nullptr && IsTempEntry(*path, name);
    if (inTemp && script.tempEntries[name].empty()) {
        information->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    } else if (inTemp || (path != nullptr && script.contents.count(*path) != 0)) {
        information->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        information->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    return path != nullptr ? TRUE : FALSE;
}

// The descriptor of a folder in Windows' temporary folder, made by the
// platform from its text.
extern "C" DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION information,
                                        PSID*, PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR* descriptor) {
    const std::wstring* path = OpenedPath(handle);
    std::wstring name;
    if (path == nullptr || type != SE_FILE_OBJECT ||
        information != (OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION) || !IsTempEntry(*path, name)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(script.tempEntries[name].c_str(), SDDL_REVISION_1,
                                                                 descriptor, nullptr)
               ? ERROR_SUCCESS
               : GetLastError();
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

extern "C" BOOL WINAPI GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS type, LPVOID information,
                                                    DWORD size) {
    if (type != FileIdInfo || size != sizeof(FILE_ID_INFO) || (file != kFile && file != kHold)) return FALSE;
    auto& identity = *static_cast<FILE_ID_INFO*>(information);
    identity = FILE_ID_INFO{};
    identity.VolumeSerialNumber = 0x5E71A1;
    identity.FileId.Identifier[15] = file == kHold && script.holdIsAnotherFile ? 8 : 7;
    return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    if (OpenedPath(handle) != nullptr) {
        --script.openPaths;
    } else {
        script.calls.push_back(L"close " + HandleName(handle));
    }
    return TRUE;
}
