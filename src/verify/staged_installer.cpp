#include "verify/staged_installer.h"

#include "verify/staging_file.h"

bool StageInstaller(const ByteBuffer& bytes, StagedInstaller& staged, std::wstring& errorText) {
    staged.path = PrepareStagingPath(staged.folder);
    if (staged.path.empty()) return false;
    FileIdentity written;
    if (WriteStagingFile(staged.path, bytes, written, errorText) &&
        HoldStagingFile(staged.path, written, staged.file, errorText)) {
        return true;
    }
    DiscardStagedInstaller(staged);
    return false;
}

void DiscardStagedInstaller(StagedInstaller& staged) {
    if (staged.file != INVALID_HANDLE_VALUE) CloseHandle(staged.file);
    staged.file = INVALID_HANDLE_VALUE;
    if (staged.folder == INVALID_HANDLE_VALUE) return;
    // Deleted while the folder is still held, so that the path still leads
    // into it.
    DeleteFileW(staged.path.c_str());
    CloseHandle(staged.folder);
    staged.folder = INVALID_HANDLE_VALUE;
}
