// The Authenticode digest of a PE image: every byte in file order except
// the CheckSum field, the certificate-table directory entry and the table
// itself. Data after the last section (an installer's payload) is covered.
#pragma once

#include <cstdint>
#include <vector>

#include <openssl/evp.h>

#include "platform/linux/wintrust/input_file.h"
#include "platform/linux/wintrust/pe_layout.h"

namespace velto::platform::wintrust {

// The file is streamed through one buffer of this size.
inline constexpr std::size_t kDigestReadChunk = 1u << 20;

// For an image without a table the digest runs to the end of the file.
bool ComputeImageDigest(const InputFile& file, const PeLayout& layout, const EVP_MD* algorithm,
                        std::vector<std::uint8_t>& digest);

}  // namespace velto::platform::wintrust
