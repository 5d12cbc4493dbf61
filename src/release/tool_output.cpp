#include "release/tool_output.h"

#include <iostream>

#include "platform/linux/text_conversion.h"

std::string ToUtf8(const std::wstring& text) {
    return velto::platform::Utf16ToUtf8Lossy(text);
}

int Fail(int exitCode, const std::string& line) {
    std::cerr << "velto-release: " << line << '\n';
    return exitCode;
}
