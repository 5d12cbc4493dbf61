// A private folder for one test, removed with everything in it afterwards,
// and the conversions between its Linux paths and Windows wide paths.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class ScratchFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velto-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root, ignored);
    }
    // The Windows form of a path under the folder: backslashes.
    static std::wstring Wide(const std::string& path) {
        std::wstring wide;
        for (unsigned char c : path) wide.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(c));
        return wide;
    }
    std::string Under(const std::string& name) const { return root + "/" + name; }
    static void WriteText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat info {};
        return lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }
    std::string root;
};
