#include "app/bootstrap_sequence.h"

#include "app/installer_launch.h"
#include "app/redirection_guard.h"
#include "app/system_libraries.h"
#include "manifest/release_manifest.h"
#include "net/download_https.h"
#include "platform/win_api.h"
#include "verify/digest_match.h"
#include "verify/file_digest.h"
#include "verify/installer_signature.h"
#include "verify/staged_installer.h"

namespace {

constexpr wchar_t kCaption[] = L"Velto";
constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kConfirmBoxFlags = MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND;
constexpr wchar_t kStagingFallbackMessage[] = L"Could not prepare the Velto setup file.";

void ShowError(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kCaption, kErrorBoxFlags);
}

std::wstring ConfirmationText(const ReleaseManifest& manifest) {
    return L"Velto " + manifest.version + L" has been downloaded and verified.\n\nStart installation now?";
}

// How a run with a staged installer ends: its exit code, and the message to
// show once the staged file is gone (none when empty).
struct RunEnd {
    int exitCode;
    std::wstring message;
};

RunEnd VerifyConfirmAndLaunch(const StagedInstaller& staged, const ReleaseManifest& manifest,
                              const BootstrapConfig& config, std::wstring& errorText) {
    Sha256Digest digest = {};
    if (!HashFileSha256(staged.file.get(), digest, errorText)) return {kExitDigestNotComputed, errorText};
    if (!DigestMatchesManifest(digest, manifest.sha256)) return {kExitDigestMismatch, kDigestMismatchMessage};
    if (!VerifyInstallerSignature(staged.path, config.PinnedThumbprint, errorText, staged.file.get())) {
        return {kExitSignature, errorText};
    }
    if (MessageBoxW(nullptr, ConfirmationText(manifest).c_str(), kCaption, kConfirmBoxFlags) != IDOK) {
        return {kExitDeclined, {}};
    }
    DWORD installerExit = 0;
    if (!LaunchInstaller(staged.path, staged.file.get(), installerExit, errorText)) return {kExitNotStarted, errorText};
    return {static_cast<int>(installerExit), {}};
}

int RunConfiguredSequence(const BootstrapConfig& config) {
    if (!IsConfigured(config)) {
        ShowError(kNotConfiguredMessage);
        return kExitNotConfigured;
    }

    std::wstring errorText;
    ByteBuffer manifestBytes;
    if (!DownloadHttps(config.ManifestUrl, manifestBytes, kManifestSizeLimit, errorText)) {
        ShowError(errorText);
        return kExitManifestDownload;
    }
    const ReleaseManifest manifest =
        ReadReleaseManifest(std::string(manifestBytes.begin(), manifestBytes.end()));
    if (!IsCompleteManifest(manifest)) {
        ShowError(kManifestInvalidMessage);
        return kExitManifestInvalid;
    }

    ByteBuffer installer;
    if (!DownloadHttps(manifest.url, installer, kInstallerSizeLimit, errorText)) {
        ShowError(errorText);
        return kExitInstallerDownload;
    }

    StagedInstaller staged;
    if (!StageInstaller(installer, staged, errorText)) {
        ShowError(errorText.empty() ? std::wstring(kStagingFallbackMessage) : errorText);
        return kExitStaging;
    }
    ByteBuffer().swap(installer);  // from here on the installer exists only on disk

    const RunEnd end = VerifyConfirmAndLaunch(staged, manifest, config, errorText);
    DiscardStagedInstaller(staged);
    if (!end.message.empty()) ShowError(end.message);
    return end.exitCode;
}

}  // namespace

int RunBootstrapSequence(const BootstrapConfig& config) {
    TurnOnRedirectionGuard();
    SystemLibraries libraries;
    std::wstring libraryError;
    if (!LoadSystemLibraries(libraries, libraryError)) {
        ShowError(libraryError);
        return kExitSystemLibrary;
    }
    return RunConfiguredSequence(config);
}
