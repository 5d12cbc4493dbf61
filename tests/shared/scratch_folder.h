// A folder of one test's own under the system's temporary folder, removed
// with everything in it afterwards, and whole files read and written; for
// the tests on Linux and, built with mingw-w64, under Wine.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <process.h>
#else
#include <stdlib.h>
#include <sys/stat.h>
#endif

namespace velto::test {

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class ScratchFolder {
public:
    ScratchFolder() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
#ifdef _WIN32
        // A name with blanks, as Windows paths often have.
        for (int n = 0; path_.empty() && n < 1000; ++n) {
            const auto candidate = base / ("velto test " + std::to_string(_getpid()) + "-" + std::to_string(n));
            std::error_code exists;
            if (std::filesystem::create_directory(candidate, exists)) path_ = candidate;
        }
#else
        std::string pattern = (base / "velto-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;  // made for its owner alone
#endif
        if (path_.empty()) ADD_FAILURE() << "no scratch folder could be made in " << base;
    }
    ~ScratchFolder() {
        std::error_code ignored;  // a test may have closed the folder even to its owner
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string Under(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A test with a scratch folder of its own, root.
class ScratchFolderTest : public ::testing::Test {
protected:
    std::string Under(const std::string& name) const { return scratch.Under(name); }
    // The Windows form of a path: backslashes.
    static std::wstring Wide(const std::string& path) {
        std::wstring wide;
        for (unsigned char c : path) wide.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
        return wide;
    }
#ifndef _WIN32
    static mode_t ModeOf(const std::string& path) {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }
#endif

    const ScratchFolder scratch;
    const std::string root = scratch.Path().string();
};

}  // namespace velto::test
