// A private copy of a downloaded installer, for the checks that read a
// file. It lives in a new folder of its own and is removed with that
// folder on every path, also when the process is interrupted.
#pragma once

#include <string>

#include "base/byte_buffer.h"

struct ScratchFile {
    std::string folder;  // made with mode 0700 under $TMPDIR, or /tmp
    std::string file;    // inside it, mode 0600
    std::wstring path;   // the file, as the system's wide text
};

// Writes bytes to a new scratch file. While it exists, SIGINT, SIGTERM
// and SIGHUP remove it before the process ends. False with error set, and
// nothing left on disk, otherwise.
bool WriteScratchFile(const ByteBuffer& bytes, ScratchFile& scratch, std::string& error);

// Removes the file and its folder and restores the signal handlers.
void RemoveScratchFile(ScratchFile& scratch);
