// The headers at the start of a PE image (PE32 or PE32+): the DOS header's
// pointer to the PE signature, the COFF file header and the optional
// header. Deciding whether an image can be started and finding what
// Authenticode hashes both start from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velto::platform {

// Copies length bytes at a file offset to out; false unless all of them are
// there.
using ReadBytesAt = std::function<bool(std::uint64_t offset, std::size_t length, std::uint8_t* out)>;

struct PeHeaders {
    std::uint16_t machine = 0;
    std::uint16_t sectionCount = 0;
    std::uint16_t characteristics = 0;
    bool pe32Plus = false;
    std::uint64_t optionalHeaderOffset = 0;    // in the file; the section table follows it
    std::vector<std::uint8_t> optionalHeader;  // all of its declared size
};

enum class PeHeadersResult {
    kImage,      // headers read and filled in
    kNotImage,   // no "MZ" at the start: not a PE image at all
    kMalformed,  // starts with "MZ" but its headers are cut off, or are not those of a PE32 or PE32+ image
};

PeHeadersResult ReadPeHeaders(const ReadBytesAt& read, PeHeaders& headers);

// The little-endian field at offset in the optional header; false when the
// declared header is too short to hold it.
bool OptionalHeaderField16(const PeHeaders& headers, std::size_t offset, std::uint16_t& value);
bool OptionalHeaderField32(const PeHeaders& headers, std::size_t offset, std::uint32_t& value);

}  // namespace velto::platform
