// How a function of the layer reports a failure, as Windows does: the code
// becomes the thread's last error, and the result is FALSE or a null
// handle.
#pragma once

#include <cstddef>

#include "platform/linux/kernel32.h"

namespace velto::platform {

// Takes CryptoAPI's HRESULT-style codes (negative LONGs) too: the last
// error holds them as their bit pattern, as on Windows.
inline BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

inline std::nullptr_t FailNull(DWORD code) {
    SetLastError(code);
    return nullptr;
}

}  // namespace velto::platform
