#include "verify/hex_text.h"

#include "platform/win_api.h"

std::wstring BytesToHex(const std::uint8_t* bytes, std::size_t count) {
    static constexpr wchar_t kAlphabet[] = L"0123456789ABCDEF";
    std::wstring hex(count * 2, L'0');
    for (std::size_t i = 0; i < count; ++i) {
        hex[2 * i] = kAlphabet[bytes[i] >> 4];
        hex[2 * i + 1] = kAlphabet[bytes[i] & 0x0F];
    }
    return hex;
}

std::wstring NormalizeHex(std::wstring text) {
    std::wstring normalized;
    normalized.reserve(text.size());
    for (wchar_t unit : text) {
        const auto code = static_cast<wint_t>(unit);
        // The runtime leaves everything but a to f unchanged here: other
        // code units it reports as digits keep their own form.
        if (code == 0xFFFF || !std::iswxdigit(code)) continue;
        normalized.push_back(code >= L'a' && code <= L'f' ? static_cast<wchar_t>(std::towupper(code)) : unit);
    }
    return normalized;
}

bool HexEquals(const std::wstring& left, const std::wstring& right) {
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i] != right[i]) return false;
    }
    return true;
}
