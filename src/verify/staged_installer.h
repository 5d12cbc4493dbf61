// The staged installer's one owner: it writes the file, holds it and its
// folder from the write to the end of the run, and deletes it.
#pragma once

#include <string>

#include "base/byte_buffer.h"
#include "platform/win_api.h"

struct StagedInstaller {
    std::wstring path;                     // the staged file
    HANDLE folder = INVALID_HANDLE_VALUE;  // held against rename and removal
    HANDLE file = INVALID_HANDLE_VALUE;    // held against writers, rename and removal
};

// Stages bytes in a new staging folder and holds both. On failure nothing
// is held and nothing that was written stays behind; errorText holds the
// step's message, or is left as it was when only the temporary folder or
// the staging folder failed.
bool StageInstaller(const ByteBuffer& bytes, StagedInstaller& staged, std::wstring& errorText);

// Lets go of the file, deletes it, then lets go of the folder, which stays.
void DiscardStagedInstaller(StagedInstaller& staged);
