// Telling a Windows program apart from a native one before it is started.
#pragma once

#include <string>

namespace velto::platform {

enum class ProgramKind {
    Native,           // anything that does not begin with "MZ": the kernel decides
    WindowsProgram,   // a PE image that Windows could start as a process
    UnusableWindows,  // begins with "MZ" but Windows could not start it
    Unreadable,       // could not be opened or read; errno says why
};

// Reads the start of the file at path (never through a symbolic link) and
// classifies it. A PE image is a startable program only when its headers
// are complete and consistent, it is an executable image and not a DLL,
// its machine is x64 or x86 with the matching optional header, and its
// subsystem is the Windows GUI or console.
ProgramKind ClassifyProgram(const std::string& path, int& errnum);

}  // namespace velto::platform
