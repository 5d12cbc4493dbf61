#include "release/command_line.h"

#include <algorithm>
#include <iostream>

#include "release/tool_output.h"

namespace {

bool IsOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-';
}

}  // namespace

bool ParseCommandArguments(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                           CommandArguments& parsed, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t index = 0; index < args.size(); ++index) {
        const std::string& word = args[index];
        if (optionsEnded || !IsOption(word)) {
            parsed.operands.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help" || word == "-h") {
            parsed.help = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (std::find(valueOptions.begin(), valueOptions.end(), name) == valueOptions.end()) {
            error = "unknown option " + name;
            return false;
        }
        if (parsed.options.count(name) != 0) {
            error = "option " + name + " is given twice";
            return false;
        }
        if (equals != std::string::npos) {
            parsed.options[name] = word.substr(equals + 1);
        } else if (index + 1 < args.size()) {
            parsed.options[name] = args[++index];
        } else {
            error = "option " + name + " needs a value";
            return false;
        }
    }
    return true;
}

std::string OptionValue(const CommandArguments& parsed, const std::string& option) {
    const auto found = parsed.options.find(option);
    return found == parsed.options.end() ? std::string() : found->second;
}

CommandStart StartCommand(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                          const std::vector<std::size_t>& operandCounts, const char* help) {
    CommandStart start;
    std::string error;
    if (!ParseCommandArguments(args, valueOptions, start.arguments, error)) {
        start.exitCode = Fail(kToolUsageError, error + " (see --help)");
        return start;
    }
    if (start.arguments.help) {
        std::cout << help;
        start.exitCode = kToolSucceeded;
        return start;
    }
    const std::size_t count = start.arguments.operands.size();
    if (std::find(operandCounts.begin(), operandCounts.end(), count) == operandCounts.end()) {
        start.exitCode = Fail(kToolUsageError, "wrong number of files or words: " + std::to_string(count) +
                                                   " (see --help)");
        return start;
    }
    start.proceed = true;
    return start;
}

bool RequireOption(const CommandArguments& parsed, const std::string& option) {
    if (parsed.options.count(option) != 0) return true;
    Fail(kToolUsageError, "missing " + option + " (see --help)");
    return false;
}
