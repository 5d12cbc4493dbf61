// The staged installer's one owner: it writes the file, holds it and its
// folder from the write to the end of the run, and removes both.
#pragma once

#include <string>

#include "base/byte_buffer.h"
#include "base/scoped_owner.h"

// Declared in the order acquired, so that the file's hold is let go first.
struct StagedInstaller {
    std::wstring path;        // the staged file
    std::wstring folderPath;  // the staging folder it is in
    ScopedFileHandle folder;  // held against rename and removal
    ScopedFileHandle file;    // held against writers, rename and removal
};

// Stages bytes in a new staging folder and holds both. On failure nothing
// is held and nothing that was made stays behind; errorText holds the
// step's message, or is left as it was when only Windows' temporary folder
// or the staging folder failed.
bool StageInstaller(const ByteBuffer& bytes, StagedInstaller& staged, std::wstring& errorText);

// Removes the staging folder and everything in it: the installer first,
// once its hold is let go; then, once the folder's hold is let go too,
// whatever else is in the folder (what the installer wrote into its
// working folder) and the folder itself. Each is deleted through a handle
// opened without following a link, by a name that only elevated code can
// change.
void DiscardStagedInstaller(StagedInstaller& staged);
