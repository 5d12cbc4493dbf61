#include <iostream>

#include "manifest/utf8_to_wide.h"
#include "release/command_line.h"
#include "release/commands.h"
#include "release/help_text.h"
#include "release/release_check.h"
#include "release/tool_output.h"

namespace {

int Report(const CheckOutcome& outcome) {
    if (!outcome.toolError.empty()) return Fail(kToolRefused, "could not check the release: " + outcome.toolError);
    if (!outcome.ready) {
        std::cout << "refused: the bootstrapper would end with exit code " << outcome.exitCode << " after showing:\n"
                  << ToUtf8(outcome.message) << '\n';
        return kToolRefused;
    }
    std::cout << "ready\n"
              << "version: " << ToUtf8(outcome.manifest.version) << '\n'
              << "url: " << ToUtf8(outcome.manifest.url) << '\n'
              << "sha256: " << ToUtf8(outcome.manifest.sha256) << '\n';
    return kToolSucceeded;
}

// The local files are opened before the check and closed after it.
int CheckLocalFiles(const std::wstring& pin, const std::vector<std::string>& operands) {
    NamedFile manifest;
    NamedFile installer;
    std::string error;
    const bool opened = OpenNamedFile(operands[0], manifest, error) && OpenNamedFile(operands[1], installer, error);
    CheckOutcome outcome;
    if (opened) outcome = CheckLocalRelease(pin, manifest, installer);
    CloseNamedFile(installer);
    CloseNamedFile(manifest);
    return opened ? Report(outcome) : Fail(kToolUsageError, error);
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
    if (live) return Report(CheckLiveRelease(pin, Utf8ToWide(OptionValue(arguments, "--url"))));
    return CheckLocalFiles(pin, arguments.operands);
}
