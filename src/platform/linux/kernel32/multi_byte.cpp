// MultiByteToWideChar for UTF-8, strict when asked to be.
#include <climits>
#include <string_view>

#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

extern "C" int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                   LPWSTR lpWideCharStr, int cchWideChar) {
    if (CodePage != CP_UTF8 || lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0 || (lpWideCharStr == nullptr && cchWideChar != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if ((dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    // A count of -1 means a terminated text, whose terminator is converted too.
    const std::size_t length =
        cbMultiByte == -1 ? std::string_view(lpMultiByteStr).size() + 1 : static_cast<std::size_t>(cbMultiByte);
    const std::string_view input(lpMultiByteStr, length);
    const bool replace = (dwFlags & MB_ERR_INVALID_CHARS) == 0;

    const long long needed = velto::platform::DecodeUtf8(input, nullptr, replace);
    if (needed < 0) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (needed > INT_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (cchWideChar == 0) return static_cast<int>(needed);
    if (needed > cchWideChar) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    velto::platform::DecodeUtf8(input, lpWideCharStr, replace);
    return static_cast<int>(needed);
}
