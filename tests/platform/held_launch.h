// LaunchInstaller as the sequence calls it: with the file held open for
// shared reading, as the staged installer is held from its write on.
#pragma once

#include <string>

#include "app/installer_launch.h"
#include "platform/win_api.h"

// The program's exit code, or -1 when it was not started.
inline int LaunchHeld(const std::wstring& path, std::wstring& errorText) {
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD exitCode = 0;
    const bool started = LaunchInstaller(path, held, exitCode, errorText);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    return started ? static_cast<int>(exitCode) : -1;
}
