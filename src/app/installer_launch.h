// Starting the verified installer and waiting for it.
#pragma once

#include <string>

#include "platform/win_api.h"

// What a failed start says before the system's reason.
inline constexpr wchar_t kNotStartedPrefix[] = L"Could not start Velto Setup: ";

// Starts the file at path with its quoted path as its command line, in
// its own folder, with TEMP and TMP naming a new folder "Temp" made there
// (see installer_environment.h), but lets it run only when the program
// Windows started is the file held open by verifiedFile; waits until it
// has ended and sets exitCode. False with errorText replaced when it was
// not started, or when how it ended could not be learned.
bool LaunchInstaller(const std::wstring& path, HANDLE verifiedFile, DWORD& exitCode, std::wstring& errorText);
