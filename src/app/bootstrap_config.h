// The two release settings fixed when the bootstrapper is built.
#pragma once

#include <string>

struct BootstrapConfig {
    std::wstring ManifestUrl;       // HTTPS address of the release manifest
    std::wstring PinnedThumbprint;  // SHA-256 fingerprint of the release signing certificate
};

inline constexpr wchar_t kNotConfiguredMessage[] =
    L"This Velto bootstrapper has not been configured for release yet.\n\n"
    L"Rebuild it with the final HTTPS manifest URL and the local release certificate thumbprint before "
    L"Signaro signing.";

// The settings this executable was built with, as wide text.
BootstrapConfig MakeBootstrapConfig();

// True when the pin has exactly 64 hexadecimal digits once normalised.
bool IsPinConfigured(const std::wstring& pin);
