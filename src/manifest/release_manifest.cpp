#include "manifest/release_manifest.h"

#include "manifest/json_string.h"
#include "manifest/utf8_to_wide.h"
#include "net/https_prefix.h"
#include "verify/hex_text.h"

namespace {

constexpr std::size_t kSha256HexLength = 64;

}  // namespace

ReleaseManifest ReadReleaseManifest(const std::string& manifestText) {
    const std::string version = ExtractJsonString(manifestText, "version");
    const std::string url = ExtractJsonString(manifestText, "url");
    const std::string sha256 = ExtractJsonString(manifestText, "sha256");
    return ReleaseManifest{Utf8ToWide(version), Utf8ToWide(url), NormalizeHex(Utf8ToWide(sha256))};
}

bool IsCompleteManifest(const ReleaseManifest& manifest) {
    return !manifest.version.empty() && HasHttpsPrefix(manifest.url) && manifest.sha256.size() == kSha256HexLength;
}
