// Where Authenticode signing changes a PE image (PE32 or PE32+), read from
// the image's bytes: the tool's own small reader, apart from the
// platform's, for comparing builds.
#pragma once

#include <cstdint>
#include <string>

struct SigningFields {
    std::uint64_t checkSumOffset = 0;              // 4 bytes in the optional header
    std::uint64_t certificateDirectoryOffset = 0;  // 8 bytes: the table's file offset and size
    std::uint64_t tableOffset = 0;                 // where the certificate table starts in the file
    std::uint64_t tableSize = 0;                   // 0: the image is not signed
};

// False when image is not a PE image whose headers, section table and
// certificate-table entry lie within it.
bool ReadSigningFields(const std::string& image, SigningFields& fields);
