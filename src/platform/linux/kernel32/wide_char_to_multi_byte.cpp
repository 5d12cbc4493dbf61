// WideCharToMultiByte for UTF-8: a lone surrogate becomes U+FFFD, or fails
// the conversion when asked to be strict.
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

using velto::platform::Fail;

extern "C" int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                   LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                   LPBOOL lpUsedDefaultChar) {
    // UTF-8 has no default character: Windows refuses one for it.
    if (CodePage != CP_UTF8 || lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || (lpMultiByteStr == nullptr && cbMultiByte != 0) || lpDefaultChar != nullptr ||
        lpUsedDefaultChar != nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
    // A count of -1 means a terminated text, whose terminator is converted too.
    const std::size_t length = cchWideChar == -1 ? velto::platform::WideLength(lpWideCharStr) + 1
                                                 : static_cast<std::size_t>(cchWideChar);
    const std::wstring_view input(lpWideCharStr, length);
    std::string converted;
    if ((dwFlags & WC_ERR_INVALID_CHARS) != 0) {
        if (!velto::platform::Utf16ToUtf8(input, converted)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    } else {
        converted = velto::platform::Utf16ToUtf8Lossy(input);
    }
    if (converted.size() > INT_MAX) return Fail(ERROR_INVALID_PARAMETER);
    if (cbMultiByte == 0) return static_cast<int>(converted.size());
    if (converted.size() > static_cast<std::size_t>(cbMultiByte)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(lpMultiByteStr, converted.data(), converted.size());
    return static_cast<int>(converted.size());
}
