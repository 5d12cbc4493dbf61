// The operating system's description of a Windows error code, for the end
// of a user-facing message.
#pragma once

#include <cstdint>
#include <string>

// The system's text for code with trailing CR, LF and spaces removed, or
// "Windows error " and the code in decimal when the system has none.
std::wstring DescribeWindowsError(std::uint32_t code);
