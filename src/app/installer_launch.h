// Starting the verified installer and waiting for it.
#pragma once

#include <string>

// Starts the file at path with its quoted path as its command line, waits
// until it has ended and returns its exit code; -1 with errorText replaced
// when it could not be started.
int LaunchInstaller(const std::wstring& path, std::wstring& errorText);
