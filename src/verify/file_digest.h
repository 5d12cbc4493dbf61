// The SHA-256 digest of the staged installer as it lies on disk.
#pragma once

#include <array>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

// Streams the file at path through the platform's SHA-256 provider into
// digest. False with errorText replaced by one message on failure.
bool HashFileSha256(const std::wstring& path, Sha256Digest& digest, std::wstring& errorText);
