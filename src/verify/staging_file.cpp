#include "verify/staging_file.h"

#include <algorithm>

#include "app/windows_error_text.h"
#include "verify/staging_folder.h"

namespace {

constexpr DWORD kTempPathCapacity = 260;
constexpr wchar_t kStagingFolderName[] = L"VeltoBootstrap";
constexpr wchar_t kStagingFileSuffix[] = L"\\Velto_Setup.exe";
constexpr std::uint64_t kWriteChunkSize = 1048576;

std::wstring LastErrorMessage(const wchar_t* sentence) {
    const DWORD code = GetLastError();
    return sentence + DescribeWindowsError(code);
}

bool WriteAllChunks(HANDLE file, const ByteBuffer& bytes) {
    std::uint64_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::uint64_t>(bytes.size() - written, kWriteChunkSize));
        DWORD chunkWritten = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &chunkWritten, nullptr) || chunkWritten != chunk) {
            return false;
        }
        written += chunkWritten;
    }
    return true;
}

}  // namespace

std::wstring PrepareStagingPath(HANDLE& folder) {
    folder = INVALID_HANDLE_VALUE;
    wchar_t tempPath[kTempPathCapacity + 1] = {};
    const DWORD length = GetTempPathW(kTempPathCapacity, tempPath);
    if (length == 0 || length >= kTempPathCapacity) return {};

    const std::wstring folderPath = std::wstring(tempPath) + kStagingFolderName;
    folder = CreateStagingFolder(folderPath);
    if (folder == INVALID_HANDLE_VALUE) return {};
    return folderPath + kStagingFileSuffix;
}

bool WriteStagingFile(const std::wstring& path, const ByteBuffer& bytes, FileIdentity& written,
                      std::wstring& errorText) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorText = LastErrorMessage(L"Could not create the installer file: ");
        return false;
    }
    if (!WriteAllChunks(file, bytes)) {
        errorText = LastErrorMessage(L"Could not write the installer file: ");
        CloseHandle(file);
        return false;
    }
    FlushFileBuffers(file);
    // Read before the writer lets go: the hold that follows opens the path
    // again and must find this same file.
    const bool identified = ReadFileIdentity(file, written);
    if (!identified) errorText = LastErrorMessage(L"Could not write the installer file: ");
    CloseHandle(file);
    return identified;
}

bool HoldStagingFile(const std::wstring& path, const FileIdentity& written, HANDLE& hold, std::wstring& errorText) {
    hold = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (hold == INVALID_HANDLE_VALUE) {
        errorText = LastErrorMessage(L"Could not lock the installer file: ");
        return false;
    }
    FileIdentity held;
    if (!ReadFileIdentity(hold, held)) {
        errorText = LastErrorMessage(L"Could not lock the installer file: ");
    } else if (!IsSameFile(held, written)) {
        errorText = L"Could not lock the installer file: " + DescribeWindowsError(ERROR_FILE_INVALID);
    } else {
        return true;
    }
    CloseHandle(hold);
    hold = INVALID_HANDLE_VALUE;
    return false;
}
