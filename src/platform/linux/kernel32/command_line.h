// Splitting a Windows command line into words.
#pragma once

#include <string>
#include <vector>

namespace velto::platform {

// The words of commandLine by the rules Windows programs use: the first
// word ends at the closing quote or the first blank, without escapes; in
// later words 2n backslashes before a quote give n backslashes and the
// quote delimits, 2n+1 give n backslashes and a literal quote, and two
// quotes inside a quoted part give one literal quote.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

}  // namespace velto::platform
