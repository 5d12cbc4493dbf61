// A scriptable stand-in for the WinHTTP operations of the download and for
// the virtual memory its body lives in: each operation succeeds or fails
// with a chosen error, and every call, with the arguments that matter, is
// recorded in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_api.h"

struct FakeChunk {
    DWORD announced = 0;      // what WinHttpQueryDataAvailable reports
    std::string bytes;        // what WinHttpReadData then hands over
    DWORD queryError = 0;     // non-zero: the query fails with this code
    DWORD readError = 0;      // non-zero: the read fails with this code
};

struct WinHttpScript {
    // Zero means the operation succeeds; otherwise it fails with this code.
    DWORD crackError = 0;
    DWORD openError = 0;
    DWORD connectError = 0;
    DWORD requestError = 0;
    DWORD sendError = 0;
    DWORD receiveError = 0;
    DWORD queryHeadersError = 0;
    DWORD reserveError = 0;
    DWORD commitError = 0;           // for the commit after commitsBeforeError
    std::size_t commitsBeforeError = 0;

    INTERNET_SCHEME scheme = INTERNET_SCHEME_HTTPS;
    std::wstring host = L"release.test";
    INTERNET_PORT port = 443;
    std::wstring path = L"/downloads/velto/update/latest.json";
    DWORD status = 200;
    std::vector<FakeChunk> chunks;  // after the last, the body has ended

    std::vector<std::wstring> calls;
    std::size_t chunkIndex = 0;
    std::size_t commits = 0;
};

WinHttpScript& HttpScript();
void ResetHttpScript();
