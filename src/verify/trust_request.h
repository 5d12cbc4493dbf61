// The request the installer check sends to WinVerifyTrust. Tools and tests
// that ask the policy themselves build theirs here too, so that they ask
// exactly what the bootstrapper asks.
#pragma once

#include <string>

#include "platform/win_api.h"

// Fills file for path and returns a verify request that points at it: no
// user interface, no revocation checking, no network retrieval, for a file
// about to be run. When the caller holds the file open, heldFile is that
// handle, and the policy reads the held file rather than whatever the path
// leads to by then.
inline WINTRUST_DATA MakeFileTrustRequest(WINTRUST_FILE_INFO& file, const std::wstring& path,
                                          HANDLE heldFile = nullptr) {
    file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    file.hFile = heldFile;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUIContext = WTD_UICONTEXT_EXECUTE;
    return data;
}
