// velto-release: makes the pin and the manifest of a Velto release and
// checks a release with the bootstrapper's own steps before it ships.
#include <iostream>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
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
