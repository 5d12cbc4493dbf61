// The Windows components that Windows does not always take from its own
// folder, loaded from there before anything else runs.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "platform/win_api.h"

struct SystemLibraries {
    std::array<HMODULE, 4> modules{};
    std::size_t loaded = 0;
};

// Restricts the process's DLL search to the system folder and loads
// WinHTTP, BCrypt, WinTrust and CryptoAPI from there. False with errorText
// replaced by one message, and nothing left loaded, when that fails.
bool LoadSystemLibraries(SystemLibraries& libraries, std::wstring& errorText);

// Releases what LoadSystemLibraries loaded, in reverse order.
void FreeSystemLibraries(SystemLibraries& libraries);
