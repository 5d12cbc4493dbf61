// The environment the installer starts with.
#pragma once

#include <string>
#include <vector>

// Velto's own environment block, with TEMP and TMP naming tempFolder and
// without the variables that make a runtime load code from a path that
// the user chose; empty when the environment cannot be read. The block is
// sorted by name, without regard to case, as Windows keeps it.
std::vector<wchar_t> MakeInstallerEnvironment(const std::wstring& tempFolder);
