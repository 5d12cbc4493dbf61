// The SHA-256 digest of the staged installer as it lies on disk.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/win_api.h"

using Sha256Digest = std::array<std::uint8_t, 32>;

inline constexpr wchar_t kNotOpenedForHashingMessage[] = L"Could not open the downloaded installer for hashing.";
inline constexpr wchar_t kDigestNotComputedMessage[] = L"Could not calculate the installer SHA-256 hash.";

// Streams the open file, from its first byte to its end, through the
// platform's SHA-256 provider into digest, and leaves the file's position
// at its start again. The file must be open for reading. False with
// errorText replaced by one message on failure.
bool HashFileSha256(HANDLE file, Sha256Digest& digest, std::wstring& errorText);

// The same for the file at path, opened for shared reading.
bool HashFileSha256(const std::wstring& path, Sha256Digest& digest, std::wstring& errorText);
