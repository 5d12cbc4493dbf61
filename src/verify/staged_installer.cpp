#include "verify/staged_installer.h"

#include "verify/staging_file.h"
#include "verify/staging_folder.h"
#include "verify/staging_removal.h"

bool StageInstaller(const ByteBuffer& bytes, StagedInstaller& staged, std::wstring& errorText) {
    staged.path = PrepareStagingPath(*staged.folder.Receive());
    if (staged.path.empty()) return false;
    staged.folderPath = staged.path.substr(0, staged.path.find_last_of(L'\\'));
    FileIdentity written;
    if (WriteStagingFile(staged.path, bytes, written, errorText) &&
        HoldStagingFile(staged.path, written, *staged.file.Receive(), errorText)) {
        return true;
    }
    DiscardStagedInstaller(staged);
    return false;
}

void DiscardStagedInstaller(StagedInstaller& staged) {
    staged.file.Reset();
    if (!staged.folder) return;
    // On Windows no one without elevation can move the folder; where a
    // folder above it could still be renamed (Wine allows it), its names
    // would lead elsewhere, and nothing is deleted by name.
    const bool inPlace = IsFolderAt(staged.folder.get(), staged.folderPath);
    if (inPlace) RemovePath(staged.path);
    staged.folder.Reset();
    if (inPlace) RemovePath(staged.folderPath);
}
