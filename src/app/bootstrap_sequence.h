// The bootstrap sequence: configuration check, manifest, download, staging,
// digest, signature, confirmation, launch.
#pragma once

#include <cstdint>
#include <string>

#include "app/bootstrap_config.h"

constexpr std::uint64_t kManifestSizeLimit = 131072;
constexpr std::uint64_t kInstallerSizeLimit = 268435456;

// Exit codes: how far a run got. After the installer ran, its own exit code
// is returned instead.
constexpr int kExitDeclined = 0;
constexpr int kExitNotConfigured = 2;
constexpr int kExitSystemLibrary = 3;
constexpr int kExitManifestDownload = 10;
constexpr int kExitManifestInvalid = 11;
constexpr int kExitInstallerDownload = 12;
constexpr int kExitStaging = 13;
constexpr int kExitDigestNotComputed = 14;
constexpr int kExitDigestMismatch = 15;
constexpr int kExitSignature = 16;
constexpr int kExitNotStarted = 17;

// Loads the system components, runs the whole sequence once and returns
// the process's exit code.
int RunBootstrapSequence(const BootstrapConfig& config);
