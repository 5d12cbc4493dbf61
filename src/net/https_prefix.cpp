#include "net/https_prefix.h"

#include "platform/win_api.h"

bool HasHttpsPrefix(const std::wstring& text) {
    constexpr std::size_t kPrefixLength = 8;
    return text.size() >= kPrefixLength && _wcsnicmp(text.c_str(), L"https://", kPrefixLength) == 0;
}
