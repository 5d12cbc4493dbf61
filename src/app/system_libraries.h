// The Windows components that Windows does not always take from its own
// folder, loaded from there before anything else runs.
#pragma once

#include <array>
#include <string>

#include "base/scoped_owner.h"

// Released when it ends, in reverse order of loading.
struct SystemLibraries {
    std::array<ScopedModule, 4> modules;
};

// Restricts the process's DLL search to the system folder and loads
// WinHTTP, BCrypt, WinTrust and CryptoAPI from there. False with errorText
// replaced by one message, and nothing left loaded, when that fails.
bool LoadSystemLibraries(SystemLibraries& libraries, std::wstring& errorText);

