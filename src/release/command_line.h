// The arguments of one velto-release command.
#pragma once

#include <map>
#include <string>
#include <vector>

struct CommandArguments {
    std::map<std::string, std::string> options;  // "--url" -> its value
    std::vector<std::string> operands;
    bool help = false;
};

// Reads args, the words after the command's name. Each of valueOptions
// ("--url", ...) takes the next word, or the text after "=", as its value;
// "--help" or "-h" asks for the command's help; "--" ends the options.
// False with error set for an unknown or repeated option or a missing
// value.
bool ParseCommandArguments(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                           CommandArguments& parsed, std::string& error);

// The value of option, or an empty text when it was not given.
std::string OptionValue(const CommandArguments& parsed, const std::string& option);

// Where a command stands after reading its words: go on with arguments,
// or end with exitCode once its help is printed or a usage error is
// reported.
struct CommandStart {
    bool proceed = false;
    int exitCode = 0;
    CommandArguments arguments;
};

// Reads a command's words as ParseCommandArguments does and requires one
// of operandCounts operands; prints help on --help.
CommandStart StartCommand(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
                          const std::vector<std::size_t>& operandCounts, const char* help);

// True when option was given; otherwise reports it as missing.
bool RequireOption(const CommandArguments& parsed, const std::string& option);
