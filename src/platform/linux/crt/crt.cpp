#include "platform/linux/crt.h"

#include "platform/linux/support/ascii_case.h"

extern "C" int _wcsnicmp(const wchar_t* left, const wchar_t* right, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const wchar_t a = velto::platform::AsciiLower(left[i]);
        const wchar_t b = velto::platform::AsciiLower(right[i]);
        if (a != b) return a < b ? -1 : 1;
        if (a == L'\0') return 0;
    }
    return 0;
}
