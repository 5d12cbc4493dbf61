#include "app/bootstrap_config.h"

#include "net/https_prefix.h"
#include "verify/hex_text.h"

namespace {

constexpr std::size_t kSha256HexLength = 64;

}  // namespace

bool IsConfigured(const BootstrapConfig& config) {
    return HasHttpsPrefix(config.ManifestUrl) && NormalizeHex(config.PinnedThumbprint).size() == kSha256HexLength;
}
