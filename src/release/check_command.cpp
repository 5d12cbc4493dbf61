#include <iostream>

#include "app/bootstrap_sequence.h"
#include "app/release_verification.h"
#include "manifest/utf8_to_wide.h"
#include "net/download_https.h"
#include "release/command_line.h"
#include "release/commands.h"
#include "release/help_text.h"
#include "release/local_file.h"
#include "release/named_file.h"
#include "release/tool_output.h"

namespace {

// Runs the bootstrapper's own checks on the release, staging the installer
// as it does, and tells what it would do: offer the release, or end with
// an exit code and a message. Nothing is started.
int CheckRelease(const std::wstring& pin, const ReleaseSource& source) {
    VerifiedRelease release = VerifyRelease(pin, source);
    DiscardStagedInstaller(release.staged);
    if (release.exitCode != kReleaseVerified) {
        std::cout << "refused: the bootstrapper would end with exit code " << release.exitCode << " after showing:\n"
                  << ToUtf8(release.message) << '\n';
        // The bootstrapper stages as an administrator, in a folder that
        // only administrators may use; so must the tool on Windows.
        if (release.exitCode == kExitStaging) Fail(kToolRefused, kStagingNote);
        return kToolRefused;
    }
    std::cout << "ready\n"
              << "version: " << ToUtf8(release.manifest.version) << '\n'
              << "url: " << ToUtf8(release.manifest.url) << '\n'
              << "sha256: " << ToUtf8(release.manifest.sha256) << '\n';
    return kToolSucceeded;
}

// The local files must be there to be named: a missing one is a usage
// error, not a release the bootstrapper would refuse.
int CheckLocalFiles(const std::wstring& pin, const std::vector<std::string>& operands) {
    NamedFile manifest;
    NamedFile installer;
    std::string error;
    const bool opened = OpenNamedFile(operands[0], manifest, error) && OpenNamedFile(operands[1], installer, error);
    CloseNamedFile(installer);
    CloseNamedFile(manifest);
    if (!opened) return Fail(kToolUsageError, error);
    return CheckRelease(pin, ReleaseSource{ReadLocalFile, manifest.path, installer.path});
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& args) {
    const CommandStart start = StartCommand(args, {"--pin", "--url"}, {0, 2}, kCheckHelp);
    if (!start.proceed) return start.exitCode;
    const CommandArguments& arguments = start.arguments;
    if (!RequireOption(arguments, "--pin")) return kToolUsageError;
    const bool live = arguments.options.count("--url") != 0;
    if (arguments.operands.size() != (live ? 0u : 2u)) {
        return Fail(kToolUsageError, "check takes either MANIFEST and INSTALLER or --url (see --help)");
    }
    const std::wstring pin = Utf8ToWide(OptionValue(arguments, "--pin"));
    if (live) return CheckRelease(pin, ReleaseSource{DownloadHttps, Utf8ToWide(OptionValue(arguments, "--url")), {}});
    return CheckLocalFiles(pin, arguments.operands);
}
