// Strict UTF-8 to UTF-16 conversion of manifest values.
#pragma once

#include <string>

// The UTF-16 form of utf8, or an empty string when utf8 is empty or not
// well-formed UTF-8.
std::wstring Utf8ToWide(const std::string& utf8);
