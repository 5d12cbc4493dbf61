#include "release/release_check.h"

#include "app/bootstrap_config.h"
#include "app/bootstrap_sequence.h"
#include "net/download_https.h"
#include "release/scratch_file.h"
#include "verify/digest_match.h"
#include "verify/file_digest.h"
#include "verify/installer_signature.h"

namespace {

// Local files have no manifest address; only the pin is judged then.
constexpr wchar_t kAnyHttpsAddress[] = L"https://";

CheckOutcome Refused(int exitCode, const std::wstring& message) {
    CheckOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.message = message;
    return outcome;
}

CheckOutcome ToolError(const std::string& error) {
    CheckOutcome outcome;
    outcome.toolError = error;
    return outcome;
}

// The steps on the installer once it is a file: digest, comparison with
// the manifest, signature and pin.
CheckOutcome CheckInstallerFile(const std::wstring& path, const ReleaseManifest& manifest, const std::wstring& pin) {
    std::wstring errorText;
    Sha256Digest digest = {};
    if (!HashFileSha256(path, digest, errorText)) return Refused(kExitDigestNotComputed, errorText);
    if (!DigestMatchesManifest(digest, manifest.sha256)) return Refused(kExitDigestMismatch, kDigestMismatchMessage);
    if (!VerifyInstallerSignature(path, pin, errorText)) return Refused(kExitSignature, errorText);
    CheckOutcome outcome;
    outcome.ready = true;
    outcome.manifest = manifest;
    return outcome;
}

}  // namespace

CheckOutcome CheckLocalRelease(const std::wstring& pin, const NamedFile& manifest, const NamedFile& installer) {
    if (!IsConfigured(BootstrapConfig{kAnyHttpsAddress, pin})) {
        return Refused(kExitNotConfigured, kNotConfiguredMessage);
    }
    // Local files over the download limits end as a download over them.
    if (manifest.file.size > kManifestSizeLimit) return Refused(kExitManifestDownload, kSizeLimitMessage);
    std::string manifestText;
    if (!ReadNamedFile(manifest, kManifestSizeLimit, manifestText)) {
        return ToolError(manifest.argument + ": could not be read");
    }
    const ReleaseManifest release = ReadReleaseManifest(manifestText);
    if (!IsCompleteManifest(release)) return Refused(kExitManifestInvalid, kManifestInvalidMessage);
    if (installer.file.size > kInstallerSizeLimit) return Refused(kExitInstallerDownload, kSizeLimitMessage);
    return CheckInstallerFile(installer.path, release, pin);
}

CheckOutcome CheckLiveRelease(const std::wstring& pin, const std::wstring& manifestUrl) {
    if (!IsConfigured(BootstrapConfig{manifestUrl, pin})) return Refused(kExitNotConfigured, kNotConfiguredMessage);
    std::wstring errorText;
    ByteBuffer manifestBytes;
    if (!DownloadHttps(manifestUrl, manifestBytes, kManifestSizeLimit, errorText)) {
        return Refused(kExitManifestDownload, errorText);
    }
    const ReleaseManifest release = ReadReleaseManifest(std::string(manifestBytes.begin(), manifestBytes.end()));
    if (!IsCompleteManifest(release)) return Refused(kExitManifestInvalid, kManifestInvalidMessage);

    ByteBuffer installer;
    if (!DownloadHttps(release.url, installer, kInstallerSizeLimit, errorText)) {
        return Refused(kExitInstallerDownload, errorText);
    }
    ScratchFile scratch;
    std::string error;
    if (!WriteScratchFile(installer, scratch, error)) return ToolError(error);
    ByteBuffer().swap(installer);
    const CheckOutcome outcome = CheckInstallerFile(scratch.path, release, pin);
    RemoveScratchFile(scratch);
    return outcome;
}
