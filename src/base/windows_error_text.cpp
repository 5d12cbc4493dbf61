#include "base/windows_error_text.h"

#include "platform/win_api.h"

namespace {

void TrimLineEndsAndSpaces(std::wstring& text) {
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
}

}  // namespace

std::wstring DescribeWindowsError(std::uint32_t code) {
    LPWSTR buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);

    std::wstring text = (length != 0 && buffer != nullptr) ? std::wstring(buffer)
                                                           : L"Windows error " + std::to_wstring(code);
    if (buffer != nullptr) LocalFree(buffer);
    TrimLineEndsAndSpaces(text);
    return text;
}

std::wstring LastErrorMessage(std::wstring_view sentence) {
    const DWORD code = GetLastError();
    return std::wstring(sentence) + DescribeWindowsError(code);
}
