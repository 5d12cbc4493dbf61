// Written through the C++ library rather than CreateFileW: the Linux layer
// gives a new file its owner's rights alone, as it makes files for programs
// to run, while a manifest must stay readable to the web server it is
// uploaded to. The C++ library gives the rights a new document gets on
// each system.
#include "release/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

// The C library's text for the error the stream met, where it left one.
std::string Failure(const std::string& path, const char* otherwise) {
    return path + ": " + (errno != 0 ? std::strerror(errno) : otherwise);
}

// UTF-8 as the path's encoding on every system (on Windows the path's own
// is UTF-16).
std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& content, std::string& error) {
    const std::filesystem::path file = PathOf(path);
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = Failure(path, "cannot be opened for writing");
        return false;
    }
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        error = Failure(path, "could not be written whole");
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
        return false;
    }
    return true;
}
