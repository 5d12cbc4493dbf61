// A file named on velto-release's command line, opened the way the
// system's code opens files on Linux.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/wintrust/input_file.h"

struct NamedFile {
    std::string argument;  // as given, for messages
    std::string utf8Path;  // absolute, links resolved
    std::wstring path;     // the same, as the system's wide text
    velto::platform::wintrust::InputFile file;
};

// Opens the regular file named by argument for reading. The path is made
// absolute with its links resolved, since the system's code never follows
// a link, and must not hold a backslash, which the system's code reads as
// a folder separator. False with error set (one line naming the file)
// otherwise.
bool OpenNamedFile(const std::string& argument, NamedFile& named, std::string& error);

void CloseNamedFile(NamedFile& named);

// The whole file, which must be at most limit bytes; false when it is
// larger or cannot be read.
bool ReadNamedFile(const NamedFile& named, std::uint64_t limit, std::string& bytes);
