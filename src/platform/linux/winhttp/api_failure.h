// How a WinHTTP operation reports a failure: the code as the thread's last
// error, and FALSE or a null handle as its result.
#pragma once

#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp.h"

namespace velto::platform::winhttp {

inline BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

inline HINTERNET FailHandle(DWORD code) {
    SetLastError(code);
    return nullptr;
}

}  // namespace velto::platform::winhttp
