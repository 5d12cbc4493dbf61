#include <iostream>

#include "release/command_line.h"
#include "release/commands.h"
#include "release/help_text.h"
#include "release/pin_source.h"
#include "release/tool_output.h"

int RunPinCommand(const std::vector<std::string>& args) {
    const CommandStart start = StartCommand(args, {}, {1}, kPinHelp);
    if (!start.proceed) return start.exitCode;
    NamedFile file;
    std::string error;
    if (!OpenNamedFile(start.arguments.operands[0], file, error)) return Fail(kToolUsageError, error);
    std::wstring pin;
    const bool read = ReadPin(file, pin, error);
    CloseNamedFile(file);
    if (!read) return Fail(kToolRefused, file.argument + ": " + error);
    std::cout << ToUtf8(pin) << '\n';
    return kToolSucceeded;
}
