// The C runtime's wide-character functions that Windows' runtime has and
// the C library here does not.
#pragma once

#include <cstddef>
#include <cwctype>

// Case-insensitive comparison of at most count characters; only the ASCII
// letters A to Z fold, as in the runtime's default "C" locale.
extern "C" int _wcsnicmp(const wchar_t* left, const wchar_t* right, std::size_t count);
