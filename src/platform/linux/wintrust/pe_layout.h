// The few places in a PE image (PE32 or PE32+) that Authenticode cares
// about: the CheckSum field and the certificate-table directory entry,
// which the image digest skips, and the certificate table itself.
#pragma once

#include <cstdint>

#include "platform/linux/support/pe_headers.h"
#include "platform/linux/wintrust/input_file.h"

namespace velto::platform::wintrust {

struct PeLayout {
    std::uint64_t checkSumOffset = 0;              // 4 bytes
    std::uint64_t certificateDirectoryOffset = 0;  // 8 bytes: offset, size
    std::uint64_t certificateTableOffset = 0;      // a file offset, not an RVA
    std::uint64_t certificateTableSize = 0;        // 0: the image carries no table
    // Where the headers and the raw data of every section end. A table that
    // starts before it overlaps bytes that Windows hashes as part of the
    // image, while the digest here skips the whole table.
    std::uint64_t imageDataEnd = 0;
};

// kNotImage: no "MZ", not a file the PE reader claims; kMalformed: "MZ",
// but the headers or the section table are cut off or inconsistent.
using PeReadResult = PeHeadersResult;

PeReadResult ReadPeLayout(const InputFile& file, PeLayout& layout);

}  // namespace velto::platform::wintrust
