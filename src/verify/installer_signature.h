// The Authenticode verdict on the staged installer, with its signer pinned
// to one certificate.
#pragma once

#include <string>

// True when the first signer's certificate has the SHA-256 fingerprint
// pinnedThumbprint (any separators and letter case) and the platform's
// Authenticode policy accepts the file, an untrusted root or an incomplete
// chain being tolerated. False with errorText replaced otherwise.
bool VerifyInstallerSignature(const std::wstring& path, const std::wstring& pinnedThumbprint,
                              std::wstring& errorText);
