#include "app/release_verification.h"

#include "app/bootstrap_config.h"
#include "app/bootstrap_sequence.h"
#include "net/https_prefix.h"
#include "verify/digest_match.h"
#include "verify/file_digest.h"
#include "verify/installer_signature.h"

namespace {

bool Fails(VerifiedRelease& release, int exitCode, const std::wstring& message) {
    release.exitCode = exitCode;
    release.message = message;
    return false;
}

bool FetchAndReadManifest(const std::wstring& pin, const ReleaseSource& source, VerifiedRelease& release,
                          std::wstring& errorText) {
    const bool addressAccepted = !source.localInstaller.empty() || HasHttpsPrefix(source.manifestAddress);
    if (!addressAccepted || !IsPinConfigured(pin)) return Fails(release, kExitNotConfigured, kNotConfiguredMessage);
    ByteBuffer manifestBytes;
    if (!source.fetch(source.manifestAddress, manifestBytes, kManifestSizeLimit, errorText)) {
        return Fails(release, kExitManifestDownload, errorText);
    }
    release.manifest = ReadReleaseManifest(std::string(manifestBytes.begin(), manifestBytes.end()));
    return IsCompleteManifest(release.manifest) || Fails(release, kExitManifestInvalid, kManifestInvalidMessage);
}

bool FetchAndStageInstaller(const ReleaseSource& source, VerifiedRelease& release, std::wstring& errorText) {
    const std::wstring& address = source.localInstaller.empty() ? release.manifest.url : source.localInstaller;
    ByteBuffer installer;
    if (!source.fetch(address, installer, kInstallerSizeLimit, errorText)) {
        return Fails(release, kExitInstallerDownload, errorText);
    }
    if (!StageInstaller(installer, release.staged, errorText)) {
        return Fails(release, kExitStaging, errorText.empty() ? std::wstring(kStagingFallbackMessage) : errorText);
    }
    return true;  // the installer's bytes go with this function: from here on it exists only on disk
}

bool CheckStagedInstaller(const std::wstring& pin, VerifiedRelease& release, std::wstring& errorText) {
    const HANDLE held = release.staged.file.get();
    Sha256Digest digest = {};
    if (!HashFileSha256(held, digest, errorText)) return Fails(release, kExitDigestNotComputed, errorText);
    if (!DigestMatchesManifest(digest, release.manifest.sha256)) {
        return Fails(release, kExitDigestMismatch, kDigestMismatchMessage);
    }
    return VerifyInstallerSignature(release.staged.path, pin, errorText, held) ||
           Fails(release, kExitSignature, errorText);
}

}  // namespace

VerifiedRelease VerifyRelease(const std::wstring& pin, const ReleaseSource& source) {
    VerifiedRelease release;
    std::wstring errorText;
    if (FetchAndReadManifest(pin, source, release, errorText) && FetchAndStageInstaller(source, release, errorText)) {
        CheckStagedInstaller(pin, release, errorText);
    }
    return release;
}
