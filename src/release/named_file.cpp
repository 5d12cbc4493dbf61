#include "release/named_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "manifest/utf8_to_wide.h"

namespace wintrust = velto::platform::wintrust;

bool OpenNamedFile(const std::string& argument, NamedFile& named, std::string& error) {
    named = NamedFile{};
    named.argument = argument;
    char resolved[PATH_MAX];
    if (realpath(argument.c_str(), resolved) == nullptr) {
        error = argument + ": " + std::strerror(errno);
        return false;
    }
    named.utf8Path = resolved;
    if (named.utf8Path.find('\\') != std::string::npos) {
        error = argument + ": a path with a backslash cannot be used";
        return false;
    }
    named.path = Utf8ToWide(named.utf8Path);
    if (named.path.empty()) {
        error = argument + ": the path is not UTF-8";
        return false;
    }
    named.file = wintrust::OpenInputFile(named.utf8Path);
    if (named.file.descriptor < 0) {
        error = argument + ": not a regular file that can be read";
        return false;
    }
    return true;
}

void CloseNamedFile(NamedFile& named) {
    wintrust::CloseInputFile(named.file);
}

bool ReadNamedFile(const NamedFile& named, std::uint64_t limit, std::string& bytes) {
    if (named.file.size > limit) return false;
    std::vector<std::uint8_t> content;
    if (!wintrust::ReadExactly(named.file, 0, static_cast<std::size_t>(named.file.size), content)) return false;
    bytes.assign(content.begin(), content.end());
    return true;
}
