// The release manifest as velto-release writes it: JSON that the
// bootstrapper's own extraction reads back as exactly the values given.
#pragma once

#include <string>

#include "verify/file_digest.h"

// False with refusal set when version or url could not reach the
// bootstrapper as given: empty, not UTF-8, or holding a control character
// that only a \u escape could carry (the bootstrapper reads no \u escape);
// and when url does not start with "https://".
bool CheckManifestValues(const std::string& version, const std::string& url, std::string& refusal);

// The manifest for the values and the installer's digest. False with
// refusal set when the values fail CheckManifestValues, when the text
// would exceed the bootstrapper's manifest size limit, or when the
// bootstrapper's extraction would not read back exactly these values.
bool ComposeManifest(const std::string& version, const std::string& url, const Sha256Digest& digest,
                     std::string& text, std::string& refusal);
