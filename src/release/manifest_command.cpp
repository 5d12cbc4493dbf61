#include <iostream>

#include "app/bootstrap_sequence.h"
#include "release/command_line.h"
#include "release/commands.h"
#include "release/help_text.h"
#include "release/manifest_text.h"
#include "release/output_file.h"
#include "release/pin_source.h"
#include "release/tool_output.h"
#include "verify/file_digest.h"
#include "verify/installer_signature.h"

namespace {

// The manifest for the installer, which must be within the download limit
// and carry a signature that the bootstrapper accepts from its signer: a
// digest taken before signing, or of a file altered after it, names an
// installer that every user would refuse.
bool ComposeInstallerManifest(const NamedFile& installer, const std::string& version, const std::string& url,
                              std::string& text, std::wstring& pin, std::string& refusal) {
    if (installer.size > kInstallerSizeLimit) {
        refusal = installer.argument + " is " + std::to_string(installer.size) +
                  " bytes; the bootstrapper downloads at most " + std::to_string(kInstallerSizeLimit);
        return false;
    }
    std::wstring errorText;
    if (!ReadSignerPin(installer.path, pin, errorText) || !VerifyInstallerSignature(installer.path, pin, errorText)) {
        refusal = installer.argument + ": " + ToUtf8(errorText) +
                  " Write the manifest for the installer as signed, and change it no more.";
        return false;
    }
    Sha256Digest digest = {};
    if (!HashFileSha256(installer.path, digest, errorText)) {
        refusal = installer.argument + ": " + ToUtf8(errorText);
        return false;
    }
    return ComposeManifest(version, url, digest, text, refusal);
}

}  // namespace

int RunManifestCommand(const std::vector<std::string>& args) {
    const CommandStart start = StartCommand(args, {"--version", "--url", "--output"}, {1}, kManifestHelp);
    if (!start.proceed) return start.exitCode;
    const CommandArguments& arguments = start.arguments;
    if (!RequireOption(arguments, "--version") || !RequireOption(arguments, "--url")) return kToolUsageError;
    const std::string version = OptionValue(arguments, "--version");
    const std::string url = OptionValue(arguments, "--url");
    std::string refusal;
    if (!CheckManifestValues(version, url, refusal)) return Fail(kToolRefused, refusal);

    NamedFile installer;
    if (!OpenNamedFile(arguments.operands[0], installer, refusal)) return Fail(kToolUsageError, refusal);
    std::string text;
    std::wstring pin;
    const bool composed = ComposeInstallerManifest(installer, version, url, text, pin, refusal);
    CloseNamedFile(installer);
    if (!composed) return Fail(kToolRefused, refusal);

    const std::string output = OptionValue(arguments, "--output");
    if (output.empty()) {
        std::cout << text;
    } else if (!WriteWholeFile(output, text, refusal)) {
        return Fail(kToolRefused, refusal);
    }
    std::cerr << "velto-release: " << installer.argument << " is signed by the certificate with pin " << ToUtf8(pin)
              << '\n';
    return kToolSucceeded;
}
