#include "app/bootstrap_config.h"

#include <string_view>

#include "bootstrap_config_values.h"

namespace {

// The settings are stored as UTF-16 literals so that wide text holds UTF-16
// code units whatever the size of wchar_t.
std::wstring FromUtf16(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

}  // namespace

BootstrapConfig MakeBootstrapConfig() {
    return BootstrapConfig{FromUtf16(VELTO_MANIFEST_URL_UTF16), FromUtf16(VELTO_PINNED_THUMBPRINT_UTF16)};
}
