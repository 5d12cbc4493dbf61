// Where the elevated run stages the installer, and under which names.
#pragma once

#include <string>

// Windows' own temporary folder, ending in a backslash; empty when the
// Windows folder cannot be read.
std::wstring SystemTempFolder();

// A new, unguessable staging folder name: "VeltoBootstrap-" and 32
// hexadecimal digits from the system's random number generator. False
// when the generator fails; there is no weaker fallback.
bool MakeStagingFolderName(std::wstring& name);

// Whether name has the form MakeStagingFolderName gives.
bool IsStagingFolderName(const std::wstring& name);

// The pattern that FindFirstFileW takes for staging folder names.
extern const wchar_t kStagingFolderPattern[];
