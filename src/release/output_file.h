// Writing a file whole, or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Opens path with openFlags (added to O_WRONLY | O_CREAT | O_CLOEXEC) and
// mode, and writes size bytes of data to it. When a write fails, the file
// is removed rather than left half written, and error names the path and
// the cause.
bool WriteWholeFile(const std::string& path, int openFlags, unsigned mode, const std::uint8_t* data,
                    std::size_t size, std::string& error);
