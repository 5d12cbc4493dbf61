#include "release/tool_output.h"

#include <climits>
#include <iostream>

#include "platform/win_api.h"

namespace {

bool Convert(const std::wstring& text, DWORD flags, std::string& utf8) {
    utf8.clear();
    if (text.empty()) return true;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    utf8.resize(static_cast<std::size_t>(needed));
    return WideCharToMultiByte(CP_UTF8, flags, text.data(), length, utf8.data(), needed, nullptr, nullptr) == needed;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    std::string utf8;
    Convert(text, 0, utf8);
    return utf8;
}

bool ToUtf8Strictly(const std::wstring& text, std::string& utf8) {
    return Convert(text, WC_ERR_INVALID_CHARS, utf8);
}

int Fail(int exitCode, const std::string& line) {
    std::cerr << "velto-release: " << line << '\n';
    return exitCode;
}
