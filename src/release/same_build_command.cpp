#include <iostream>

#include "release/build_comparison.h"
#include "release/command_line.h"
#include "release/commands.h"
#include "release/help_text.h"
#include "release/tool_output.h"

int RunSameBuildCommand(const std::vector<std::string>& args) {
    const CommandStart start = StartCommand(args, {}, {2}, kSameBuildHelp);
    if (!start.proceed) return start.exitCode;
    NamedFile first;
    NamedFile second;
    std::string error;
    const bool opened = OpenNamedFile(start.arguments.operands[0], first, error) &&
                        OpenNamedFile(start.arguments.operands[1], second, error);
    BuildComparison comparison;
    const bool compared = opened && CompareBuilds(first, second, comparison, error);
    CloseNamedFile(second);
    CloseNamedFile(first);
    if (!opened) return Fail(kToolUsageError, error);
    if (!compared) return Fail(kToolRefused, error);
    std::cout << (comparison.same ? "same build: " : "different builds: ") << comparison.detail << '\n';
    return comparison.same ? kToolSucceeded : kToolRefused;
}
