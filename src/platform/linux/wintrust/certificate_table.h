// The attribute certificate table of a PE image: a run of WIN_CERTIFICATE
// entries, the first of which carries the Authenticode PKCS #7 signature.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/linux/wintrust/input_file.h"
#include "platform/linux/wintrust/pe_layout.h"

namespace velto::platform::wintrust {

// Reading the signature out of the image only needs the first entry to be
// sound; judging the image as signed also needs that entry to be the whole
// table, 8-byte aligned, and to end the file, since any other byte of the
// table or after it would be covered by no digest.
enum class TableCheck { kSignatureOnly, kWholeImage };

enum class EmbeddedSignatureResult {
    kFound,     // der holds the PKCS #7 ContentInfo, padding removed
    kAbsent,    // the directory entry names no table
    kUnusable,  // a table is named but cannot be read as a signature
};

// The largest PKCS #7 blob accepted. Real signatures with timestamps and
// nested signatures stay far below it; it bounds what a hostile file can
// make the reader allocate.
inline constexpr std::uint32_t kMaxSignatureBytes = 4u << 20;

EmbeddedSignatureResult ReadEmbeddedSignature(const InputFile& file, const PeLayout& layout, TableCheck check,
                                              std::vector<std::uint8_t>& der);

}  // namespace velto::platform::wintrust
