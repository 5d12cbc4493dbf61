#include "platform/linux/crt.h"

namespace {

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

extern "C" int _wcsnicmp(const wchar_t* left, const wchar_t* right, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const wchar_t a = FoldAscii(left[i]);
        const wchar_t b = FoldAscii(right[i]);
        if (a != b) return a < b ? -1 : 1;
        if (a == L'\0') return 0;
    }
    return 0;
}
