#include "fake_files.h"

#include <algorithm>

namespace {

FileScript script;
const HANDLE kFile = reinterpret_cast<HANDLE>(0xF11E);

}  // namespace

FileScript& Files() { return script; }
void ResetFiles() { script = FileScript{}; }

extern "C" DWORD WINAPI GetTempPathW(DWORD length, LPWSTR buffer) {
    script.calls.push_back(L"temp " + std::to_wstring(length));
    std::fill(buffer, buffer + length, L'\0');
    std::copy_n(script.tempPath.begin(), std::min<std::size_t>(script.tempPath.size(), length), buffer);
    return script.tempPathResult != 0 ? script.tempPathResult : static_cast<DWORD>(script.tempPath.size());
}

extern "C" BOOL WINAPI CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
    script.calls.push_back(std::wstring(attributes == nullptr ? L"mkdir " : L"mkdir with attributes ") + path);
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES attributes,
                                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    const bool exclusiveWrite = access == GENERIC_WRITE && share == 0 && attributes == nullptr &&
                                disposition == CREATE_ALWAYS &&
                                flags == (FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN) && templateFile == nullptr;
    script.calls.push_back(std::wstring(exclusiveWrite ? L"create " : L"create unexpected ") + path);
    if (script.createError != 0) {
        SetLastError(script.createError);
        return INVALID_HANDLE_VALUE;
    }
    return kFile;
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
    script.calls.push_back(file == kFile ? L"flush" : L"flush unexpected");
    return TRUE;
}

extern "C" BOOL WINAPI CloseHandle(HANDLE file) {
    script.calls.push_back(file == kFile ? L"close" : L"close unexpected");
    return TRUE;
}
