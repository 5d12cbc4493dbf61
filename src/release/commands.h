// The commands of velto-release. Each takes the words after its name and
// returns the process's exit code (release/tool_output.h).
#pragma once

#include <string>
#include <vector>

int RunPinCommand(const std::vector<std::string>& args);
int RunManifestCommand(const std::vector<std::string>& args);
int RunCheckCommand(const std::vector<std::string>& args);
int RunSameBuildCommand(const std::vector<std::string>& args);
