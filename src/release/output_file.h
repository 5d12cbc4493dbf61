// Writing a file whole, or not at all.
#pragma once

#include <string>

// Creates or replaces the file at path (UTF-8) with content. When a write
// fails, the file is removed rather than left half written, and error
// names the path.
bool WriteWholeFile(const std::string& path, const std::string& content, std::string& error);
