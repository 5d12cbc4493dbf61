#include "manifest/utf8_to_wide.h"

#include <climits>

#include "platform/win_api.h"

std::wstring Utf8ToWide(const std::string& utf8) {
    // The platform takes a signed 32-bit count; longer input is refused
    // rather than truncated.
    if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int inputLength = static_cast<int>(utf8.size());

    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inputLength, nullptr, 0);
    if (needed <= 0) return {};

    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inputLength, wide.data(), needed);
    if (written <= 0) return {};
    return wide;
}
