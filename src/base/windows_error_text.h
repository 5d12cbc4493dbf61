// The operating system's description of a Windows error code, for the end
// of a user-facing message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The system's text for code with trailing CR, LF and spaces removed, or
// "Windows error " and the code in decimal when the system has none.
std::wstring DescribeWindowsError(std::uint32_t code);

// sentence followed by the text of the thread's last error. The code is read
// before anything else runs, which is why sentence is a view: building a
// string argument could allocate, and an allocation may set the last error.
std::wstring LastErrorMessage(std::wstring_view sentence);
