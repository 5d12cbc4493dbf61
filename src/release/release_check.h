// A release checked by the bootstrapper's own steps, up to the point where
// it would ask the user: configuration, manifest, size limits, digest,
// signature and pin. No installer is started.
#pragma once

#include <string>

#include "manifest/release_manifest.h"
#include "release/named_file.h"

struct CheckOutcome {
    bool ready = false;
    int exitCode = 0;          // when not ready: the exit code the bootstrapper would end with
    std::wstring message;      // when not ready: the message it would show
    ReleaseManifest manifest;  // when ready: what it would offer
    std::string toolError;     // set when the check itself could not run to its end
};

// The release as the local files manifest and installer make it, the
// installer standing for the download that the manifest names. The files'
// sizes are held to the bootstrapper's download limits.
CheckOutcome CheckLocalRelease(const std::wstring& pin, const NamedFile& manifest, const NamedFile& installer);

// The live release, fetched from manifestUrl over HTTPS exactly as the
// bootstrapper fetches it. The downloaded installer is checked in a
// scratch file that is removed before this returns.
CheckOutcome CheckLiveRelease(const std::wstring& pin, const std::wstring& manifestUrl);
