#include "app/bootstrap_sequence.h"

#include "app/installer_launch.h"
#include "manifest/release_manifest.h"
#include "net/download_https.h"
#include "platform/win_api.h"
#include "verify/digest_match.h"
#include "verify/file_digest.h"
#include "verify/installer_signature.h"
#include "verify/staging_file.h"

namespace {

constexpr wchar_t kCaption[] = L"Velto";
constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kConfirmBoxFlags = MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND;
constexpr wchar_t kStagingFallbackMessage[] = L"Could not prepare the Velto setup file.";

void ShowError(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kCaption, kErrorBoxFlags);
}

// The staged installer, held open for shared reading from the moment it is
// written until it is deleted, so that no other process can replace it
// between the checks and the launch.
struct StagedInstaller {
    std::wstring path;
    HANDLE hold = INVALID_HANDLE_VALUE;
};

bool HoldStagedInstaller(StagedInstaller& staged) {
    staged.hold = CreateFileW(staged.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return staged.hold != INVALID_HANDLE_VALUE;
}

void DeleteStagedInstaller(StagedInstaller& staged) {
    if (staged.hold != INVALID_HANDLE_VALUE) CloseHandle(staged.hold);
    staged.hold = INVALID_HANDLE_VALUE;
    DeleteFileW(staged.path.c_str());
}

std::wstring ConfirmationText(const ReleaseManifest& manifest) {
    return L"Velto " + manifest.version + L" has been downloaded and verified.\n\nStart installation now?";
}

// From the staged file to the end of the run: every path deletes the file.
int VerifyConfirmAndLaunch(StagedInstaller& staged, const ReleaseManifest& manifest, const BootstrapConfig& config,
                           std::wstring& errorText) {
    Sha256Digest digest = {};
    if (!HashFileSha256(staged.path, digest, errorText)) {
        DeleteStagedInstaller(staged);
        ShowError(errorText);
        return kExitDigestNotComputed;
    }
    if (!DigestMatchesManifest(digest, manifest.sha256)) {
        DeleteStagedInstaller(staged);
        ShowError(kDigestMismatchMessage);
        return kExitDigestMismatch;
    }
    if (!VerifyInstallerSignature(staged.path, config.PinnedThumbprint, errorText)) {
        DeleteStagedInstaller(staged);
        ShowError(errorText);
        return kExitSignature;
    }
    if (MessageBoxW(nullptr, ConfirmationText(manifest).c_str(), kCaption, kConfirmBoxFlags) != IDOK) {
        DeleteStagedInstaller(staged);
        return kExitDeclined;
    }
    const int installerExit = LaunchInstaller(staged.path, errorText);
    DeleteStagedInstaller(staged);
    if (installerExit == -1) {
        ShowError(errorText);
        return kExitNotStarted;
    }
    return installerExit;
}

}  // namespace

int RunBootstrapSequence(const BootstrapConfig& config) {
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

    StagedInstaller staged{PrepareStagingPath()};
    if (staged.path.empty() || !WriteStagingFile(staged.path, installer, errorText) ||
        !HoldStagedInstaller(staged)) {
        ShowError(errorText.empty() ? std::wstring(kStagingFallbackMessage) : errorText);
        return kExitStaging;
    }
    ByteBuffer().swap(installer);  // from here on the installer exists only on disk

    return VerifyConfirmAndLaunch(staged, manifest, config, errorText);
}
