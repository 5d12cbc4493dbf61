// The two release settings fixed when the bootstrapper is built.
#pragma once

#include <string>

struct BootstrapConfig {
    std::wstring ManifestUrl;       // HTTPS address of the release manifest
    std::wstring PinnedThumbprint;  // SHA-256 fingerprint of the release signing certificate
};

// The settings this executable was built with, as wide text.
BootstrapConfig MakeBootstrapConfig();
