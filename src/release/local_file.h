// A local file read as the bootstrapper would download it: into the same
// buffer, held to the same limit.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_buffer.h"

// Reads the file at path into body. False with errorText replaced by one
// message when it cannot be read, or when it holds more than limit bytes
// (the message a download over the limit gives).
bool ReadLocalFile(const std::wstring& path, ByteBuffer& body, std::uint64_t limit, std::wstring& errorText);
