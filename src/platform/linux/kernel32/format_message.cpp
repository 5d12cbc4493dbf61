// FormatMessageW from the system table: the layer's codes are described by
// the C library's text for the matching errno; other codes have no text.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32.h"

namespace {

constexpr DWORD kSupportedFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

std::wstring SystemText(int errnum) {
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may not be in buffer.
    const char* text = strerror_r(errnum, buffer, sizeof(buffer));
    std::wstring wide;
    for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

// Table entries end in a line break, as Windows' do; callers trim it.
std::wstring TableEntry(int errnum) {
    return SystemText(errnum) + L"\r\n";
}

}  // namespace

extern "C" DWORD FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                                DWORD, va_list*) {
    if ((dwFlags & ~kSupportedFlags) != 0 || (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 ||
        (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0 || dwLanguageId != 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int errnum = velto::platform::ErrnoForWinError(dwMessageId);
    if (errnum == 0) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::wstring text = TableEntry(errnum);
    auto* copy = static_cast<wchar_t*>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = copy;
    return static_cast<DWORD>(text.size());
}
