// WinHTTP's proxy bypass list in the form libcurl takes.
#pragma once

#include <string>

#include "platform/linux/win_types.h"

namespace velto::platform::winhttp {

// "a.example; *.b.example <local>" becomes "a.example,.b.example": entries
// separated by semicolons or blanks, a leading "*" wildcard dropped, as
// libcurl matches suffixes. "<local>" (names without a dot) has no libcurl
// form and is left out. False for text that is not valid UTF-16.
bool ToCurlBypassList(LPCWSTR bypass, std::string& list);

}  // namespace velto::platform::winhttp
