#include "app/bootstrap_config.h"

#include "verify/hex_text.h"

namespace {

constexpr std::size_t kSha256HexLength = 64;

}  // namespace

bool IsPinConfigured(const std::wstring& pin) {
    return NormalizeHex(pin).size() == kSha256HexLength;
}
