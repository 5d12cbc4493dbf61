// The release manifest's three values, read from its text and checked the
// way the bootstrapper accepts them.
#pragma once

#include <string>

inline constexpr wchar_t kManifestInvalidMessage[] = L"The Velto release manifest is invalid or incomplete.";

struct ReleaseManifest {
    std::wstring version;
    std::wstring url;
    std::wstring sha256;  // normalised hexadecimal text
};

// The "version", "url" and "sha256" members of the manifest text as wide
// text, the digest normalised; a value that is missing or unreadable is
// empty.
ReleaseManifest ReadReleaseManifest(const std::string& manifestText);

// True when the version is present, the url starts with "https://" and the
// digest has 64 hexadecimal digits.
bool IsCompleteManifest(const ReleaseManifest& manifest);
