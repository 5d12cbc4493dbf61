#include "release/run_tool.h"

#include <iostream>

#include "app/system_libraries.h"
#include "release/commands.h"
#include "release/help_text.h"
#include "release/tool_output.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>& args);
};

constexpr Command kCommands[] = {
    {"pin", RunPinCommand},
    {"manifest", RunManifestCommand},
    {"check", RunCheckCommand},
    {"same-build", RunSameBuildCommand},
};

// Runs the command that the first word names with the words after it.
int RunCommand(const std::vector<std::string>& words) {
    if (words.empty()) return Fail(kToolUsageError, "no command given (see velto-release --help)");
    if (words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::cout << kToolHelp;
        return kToolSucceeded;
    }
    for (const Command& command : kCommands) {
        if (words[0] == command.name) return command.run({words.begin() + 1, words.end()});
    }
    return Fail(kToolUsageError, "unknown command " + words[0] + " (see velto-release --help)");
}

}  // namespace

int RunReleaseTool(const std::vector<std::string>& words) {
    // First, as in the bootstrapper: check runs elevated, and a DLL beside
    // the tool must not be loaded in place of the system's.
    SystemLibraries libraries;
    std::wstring errorText;
    if (!LoadSystemLibraries(libraries, errorText)) return Fail(kToolRefused, ToUtf8(errorText));
    return RunCommand(words);
}
