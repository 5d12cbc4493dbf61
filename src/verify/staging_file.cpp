#include "verify/staging_file.h"

#include <algorithm>

#include "base/scoped_owner.h"
#include "base/windows_error_text.h"
#include "verify/staging_folder.h"
#include "verify/staging_leftovers.h"
#include "verify/staging_location.h"

namespace {

constexpr wchar_t kStagingFileSuffix[] = L"\\Velto_Setup.exe";
constexpr std::uint64_t kWriteChunkSize = 1048576;

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
    const std::wstring tempFolder = SystemTempFolder();
    PSECURITY_DESCRIPTOR security = nullptr;
    if (tempFolder.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(kStagingFolderSecurity, SDDL_REVISION_1, &security,
                                                              nullptr)) {
        return {};
    }
    const ScopedLocalMemory securityMemory(security);
    RemoveStagingLeftovers(tempFolder, security);
    std::wstring folderPath;
    folder = CreateStagingFolder(tempFolder, security, folderPath);
    if (folder == INVALID_HANDLE_VALUE) return {};
    return folderPath + kStagingFileSuffix;
}

// The path is opened by name: it lies in the held staging folder, where
// only elevated code can make, rename or remove an entry, on a path that
// no one without elevation can change.
bool WriteStagingFile(const std::wstring& path, const ByteBuffer& bytes, FileIdentity& written,
                      std::wstring& errorText) {
    const ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        errorText = LastErrorMessage(kFileNotCreatedPrefix);
        return false;
    }
    if (!WriteAllChunks(file.get(), bytes)) {
        errorText = LastErrorMessage(kFileNotWrittenPrefix);
        return false;
    }
    // Not examined: every later read of the file goes through the same
    // system cache, so the checks see the bytes written whether or not they
    // have reached the disk yet.
    FlushFileBuffers(file.get());
    // Read before the writer lets go: the hold that follows opens the path
    // again and must find this same file.
    if (!ReadFileIdentity(file.get(), written)) {
        errorText = LastErrorMessage(kFileNotWrittenPrefix);
        return false;
    }
    return true;
}

bool HoldStagingFile(const std::wstring& path, const FileIdentity& written, HANDLE& hold, std::wstring& errorText) {
    hold = INVALID_HANDLE_VALUE;
    // By name, in the held staging folder, as the write was; the identity
    // check below proves it is the file written. The hold asks for no more
    // than reading: the signature check and the loader open the file again
    // and share only reading with it.
    ScopedFileHandle opened(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    FileIdentity held;
    if (!opened || !ReadFileIdentity(opened.get(), held)) {
        errorText = LastErrorMessage(kFileNotLockedPrefix);
        return false;
    }
    if (!IsSameFile(held, written)) {
        errorText = kFileNotLockedPrefix + DescribeWindowsError(ERROR_FILE_INVALID);
        return false;
    }
    hold = opened.Release();
    return true;
}
