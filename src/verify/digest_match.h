// Comparing the staged installer's digest with the manifest's.
#pragma once

#include <string>

#include "verify/file_digest.h"

inline constexpr wchar_t kDigestMismatchMessage[] =
    L"Security check failed: the Velto setup SHA-256 hash does not match the published release manifest.";

// True when the digest's hexadecimal text equals the manifest's normalised
// sha256 exactly.
bool DigestMatchesManifest(const Sha256Digest& digest, const std::wstring& manifestSha256);
