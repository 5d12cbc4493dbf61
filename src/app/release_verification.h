// The bootstrapper's checks of a release, from the configuration check to
// the signature, shared by the bootstrap sequence and the release tool's
// check, so that the tool predicts exactly what the field does.
#pragma once

#include <cstdint>
#include <string>

#include "base/byte_buffer.h"
#include "manifest/release_manifest.h"
#include "verify/staged_installer.h"

// Reads address into body, at most limit bytes; false with errorText
// replaced by one message otherwise. DownloadHttps is one.
using FetchFunction = bool (*)(const std::wstring& address, ByteBuffer& body, std::uint64_t limit,
                               std::wstring& errorText);

// Where a release comes from. The bootstrapper downloads the manifest from
// its address and the installer from the url the manifest names; the
// release tool may read both from local files instead, and then names the
// installer here, and has no manifest address to hold to HTTPS.
struct ReleaseSource {
    FetchFunction fetch = nullptr;
    std::wstring manifestAddress;
    std::wstring localInstaller;  // empty: the url the manifest names
};

// Shown when staging fails without a message of its own.
inline constexpr wchar_t kStagingFallbackMessage[] = L"Could not prepare the Velto setup file.";

constexpr int kReleaseVerified = -1;

struct VerifiedRelease {
    int exitCode = kReleaseVerified;  // otherwise the step's exit code
    std::wstring message;             // the step's message, which the bootstrapper shows
    ReleaseManifest manifest;
    StagedInstaller staged;           // the installer, staged and held, once a step has staged it
};

// Checks the pin (and the manifest's address when it is downloaded),
// fetches and reads the manifest, fetches the installer, stages it and
// checks its digest, its signer against pin and Windows' verdict, in the
// bootstrapper's order, ending at the first that fails. The caller
// discards what was staged, whatever the result.
VerifiedRelease VerifyRelease(const std::wstring& pin, const ReleaseSource& source);
