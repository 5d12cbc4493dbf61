// Reading an untrusted file piece by piece: every read names its offset and
// length, is checked against the file's size first, and lands in a buffer
// the caller sized. Nothing maps or loads the whole file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velto::platform::wintrust {

struct InputFile {
    int descriptor = -1;
    std::uint64_t size = 0;
};

// Opens a regular file for reading without following a final symbolic link
// and without blocking on a FIFO. On failure the Windows last error is set
// and the result holds no descriptor.
InputFile OpenInputFile(const std::string& utf8Path);

// Takes over an already open descriptor (used by the fuzz target, which has
// no path). Fails for anything but a regular file.
bool AdoptInputFile(int descriptor, InputFile& file);

void CloseInputFile(InputFile& file);

// True when [offset, offset + length) lies inside the file.
bool RangeInsideFile(const InputFile& file, std::uint64_t offset, std::uint64_t length);

// Reads exactly length bytes at offset into out (resized to length). Fails
// without reading when the range is not inside the file.
bool ReadExactly(const InputFile& file, std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out);

// Reads into caller memory; the same checks.
bool ReadExactlyInto(const InputFile& file, std::uint64_t offset, std::size_t length, std::uint8_t* out);

}  // namespace velto::platform::wintrust
