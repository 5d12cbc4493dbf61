// velto-release: makes the pin and the manifest of a Velto release and
// checks a release with the bootstrapper's own steps before it ships.
#pragma once

#include <string>
#include <vector>

// Runs the command that words (the arguments after the program's name, as
// UTF-8) name, and returns the process's exit code (release/tool_output.h).
// The one logic of the tool; each platform's entry point only reads the
// arguments in the platform's own form.
int RunReleaseTool(const std::vector<std::string>& words);
