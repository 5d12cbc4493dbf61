#include "app/bootstrap_sequence.h"

#include "app/installer_launch.h"
#include "manifest/json_string.h"
#include "manifest/utf8_to_wide.h"
#include "net/download_https.h"
#include "net/https_prefix.h"
#include "platform/win_api.h"
#include "verify/file_digest.h"
#include "verify/hex_text.h"
#include "verify/installer_signature.h"
#include "verify/staging_file.h"

namespace {

constexpr wchar_t kCaption[] = L"Velto";
constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kConfirmBoxFlags = MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND;
constexpr std::size_t kSha256HexLength = 64;

constexpr wchar_t kNotConfiguredMessage[] =
    L"This Velto bootstrapper has not been configured for release yet.\n\n"
    L"Rebuild it with the final HTTPS manifest URL and the local release certificate thumbprint before "
    L"Signaro signing.";
constexpr wchar_t kManifestInvalidMessage[] = L"The Velto release manifest is invalid or incomplete.";
constexpr wchar_t kStagingFallbackMessage[] = L"Could not prepare the Velto setup file.";
constexpr wchar_t kDigestMismatchMessage[] =
    L"Security check failed: the Velto setup SHA-256 hash does not match the published release manifest.";

void ShowError(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kCaption, kErrorBoxFlags);
}

bool IsConfigured(const BootstrapConfig& config) {
    return HasHttpsPrefix(config.ManifestUrl) && NormalizeHex(config.PinnedThumbprint).size() == kSha256HexLength;
}

ReleaseManifest ReadReleaseManifest(const ByteBuffer& manifestBytes) {
    const std::string text(manifestBytes.begin(), manifestBytes.end());
    const std::string version = ExtractJsonString(text, "version");
    const std::string url = ExtractJsonString(text, "url");
    const std::string sha256 = ExtractJsonString(text, "sha256");
    return ReleaseManifest{Utf8ToWide(version), Utf8ToWide(url), NormalizeHex(Utf8ToWide(sha256))};
}

bool IsCompleteManifest(const ReleaseManifest& manifest) {
    return !manifest.version.empty() && HasHttpsPrefix(manifest.url) && manifest.sha256.size() == kSha256HexLength;
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

bool DigestMatches(const Sha256Digest& digest, const ReleaseManifest& manifest) {
    const std::wstring computed = NormalizeHex(BytesToHex(digest.data(), digest.size()));
    return HexEquals(computed, manifest.sha256);
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
    if (!DigestMatches(digest, manifest)) {
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
    const ReleaseManifest manifest = ReadReleaseManifest(manifestBytes);
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
