#include "verify/digest_match.h"

#include "verify/hex_text.h"

bool DigestMatchesManifest(const Sha256Digest& digest, const std::wstring& manifestSha256) {
    const std::wstring computed = NormalizeHex(BytesToHex(digest.data(), digest.size()));
    return HexEquals(computed, manifestSha256);
}
