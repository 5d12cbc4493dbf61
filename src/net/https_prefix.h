// The "https://" test that every release address must pass before it is
// used.
#pragma once

#include <string>

// True when text has at least 8 characters and starts with "https://",
// ASCII letters compared without regard to case.
bool HasHttpsPrefix(const std::wstring& text);
