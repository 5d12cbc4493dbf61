#include "verify/staging_file.h"

#include <algorithm>

#include "app/windows_error_text.h"
#include "platform/win_api.h"

namespace {

constexpr DWORD kTempPathCapacity = 260;
constexpr wchar_t kStagingFolderName[] = L"VeltoBootstrap";
constexpr wchar_t kStagingFileSuffix[] = L"\\Velto_Setup.exe";
constexpr std::uint64_t kWriteChunkSize = 1048576;

std::wstring LastErrorMessage(const wchar_t* sentence) {
    const DWORD code = GetLastError();
    return sentence + DescribeWindowsError(code);
}

bool WriteAllChunks(HANDLE file, const ByteBuffer& bytes, std::wstring& errorText) {
    std::uint64_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(bytes.size() - written, kWriteChunkSize));
        DWORD chunkWritten = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &chunkWritten, nullptr) || chunkWritten != chunk) {
            errorText = LastErrorMessage(L"Could not write the installer file: ");
            return false;
        }
        written += chunkWritten;
    }
    return true;
}

}  // namespace

std::wstring PrepareStagingPath() {
    wchar_t tempPath[kTempPathCapacity + 1] = {};
    const DWORD length = GetTempPathW(kTempPathCapacity, tempPath);
    if (length == 0 || length >= kTempPathCapacity) return {};

    const std::wstring folder = std::wstring(tempPath) + kStagingFolderName;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + kStagingFileSuffix;
}

bool WriteStagingFile(const std::wstring& path, const ByteBuffer& bytes, std::wstring& errorText) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorText = LastErrorMessage(L"Could not create the installer file: ");
        return false;
    }
    if (!WriteAllChunks(file, bytes, errorText)) {
        CloseHandle(file);
        return false;
    }
    FlushFileBuffers(file);
    CloseHandle(file);
    return true;
}
