#include "app/bootstrap_sequence.h"

#include "app/installer_launch.h"
#include "app/redirection_guard.h"
#include "app/release_verification.h"
#include "app/system_libraries.h"
#include "net/download_https.h"
#include "platform/win_api.h"

namespace {

constexpr wchar_t kCaption[] = L"Velto";
constexpr UINT kErrorBoxFlags = MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kConfirmBoxFlags = MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND;

void ShowError(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kCaption, kErrorBoxFlags);
}

std::wstring ConfirmationText(const ReleaseManifest& manifest) {
    return L"Velto " + manifest.version + L" has been downloaded and verified.\n\nStart installation now?";
}

// How a run ends: its exit code, and the message to show once the staged
// file is gone (none when empty).
struct RunEnd {
    int exitCode;
    std::wstring message;
};

RunEnd ConfirmAndLaunch(const VerifiedRelease& release) {
    if (MessageBoxW(nullptr, ConfirmationText(release.manifest).c_str(), kCaption, kConfirmBoxFlags) != IDOK) {
        return {kExitDeclined, {}};
    }
    std::wstring errorText;
    DWORD installerExit = 0;
    if (!LaunchInstaller(release.staged.path, release.staged.file.get(), installerExit, errorText)) {
        return {kExitNotStarted, errorText};
    }
    return {static_cast<int>(installerExit), {}};
}

int RunConfiguredSequence(const BootstrapConfig& config) {
    VerifiedRelease release = VerifyRelease(config.PinnedThumbprint, ReleaseSource{DownloadHttps, config.ManifestUrl, {}});
    const RunEnd end =
        release.exitCode == kReleaseVerified ? ConfirmAndLaunch(release) : RunEnd{release.exitCode, release.message};
    DiscardStagedInstaller(release.staged);
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
