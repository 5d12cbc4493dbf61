// A file named on velto-release's command line, opened through the
// platform's file interface and held for reading while a command uses it.
#pragma once

#include <cstdint>
#include <string>

#include "base/scoped_owner.h"

struct NamedFile {
    std::string argument;    // as given, for messages
    std::wstring path;       // the same, as the system's wide text
    ScopedFileHandle file;   // shares reading only: no one changes the file while a command uses it
    std::uint64_t size = 0;
};

// Opens the regular file named by argument (a UTF-8 path) for reading, as
// the platform opens it: on Linux a backslash separates folders, as on
// Windows, and a symbolic link is not followed. False with error set (one
// line naming the file) otherwise.
bool OpenNamedFile(const std::string& argument, NamedFile& named, std::string& error);

void CloseNamedFile(NamedFile& named);

// The first count bytes of the file, or all of it when it is shorter;
// false when it cannot be read.
bool ReadNamedFileStart(const NamedFile& named, std::uint64_t count, std::string& bytes);

// The whole file, which must be at most limit bytes; false when it is
// larger or cannot be read.
bool ReadNamedFile(const NamedFile& named, std::uint64_t limit, std::string& bytes);
