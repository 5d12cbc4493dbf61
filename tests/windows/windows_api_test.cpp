// The system's steps against the real Windows API: the error text from the
// system's message table, the staging file and its digest on real files,
// and the launch of real programs.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/installer_launch.h"
#include "app/windows_error_text.h"
#include "verify/file_digest.h"
#include "verify/hex_text.h"
#include "verify/staging_file.h"
#include "wine_differences.h"

namespace {

std::wstring TempFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    return std::wstring(buffer, length);
}

// A fresh folder under the temporary folder, removed with its files after
// the test.
class ScratchFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root = TempFolder() + L"velto windows test " + std::to_wstring(GetCurrentProcessId());
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(root); }
    static void RemoveTree(const std::wstring& folder) {
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring path = folder + L"\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(path);
                } else {
                    DeleteFileW(path.c_str());
                }
            } while (FindNextFileW(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }
    static std::string ReadBytes(const std::wstring& path) {
        std::string bytes;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "(missing)";
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
        CloseHandle(file);
        return bytes;
    }
    std::wstring root;
};

ByteBuffer Pattern(std::size_t size) {
    ByteBuffer bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    return bytes;
}

// -- Windows error text ------------------------------------------------

struct SystemTextCase {
    const char* name;
    std::uint32_t code;
    std::wstring windowsText;  // the text of an English Windows
};

class SystemErrorText : public ::testing::TestWithParam<SystemTextCase> {};

TEST_P(SystemErrorText, IsTheSystemsTextWithoutItsLineEnd) {
    const std::wstring text = DescribeWindowsError(GetParam().code);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find(L"Windows error "), std::wstring::npos) << "the system has a text for this code";
    const wchar_t last = text.back();
    EXPECT_TRUE(last != L'\r' && last != L'\n' && last != L' ') << "ends in a line break or blank";
    if (velto::test::WineVersion() != nullptr) {
        GTEST_SKIP() << "Wine's message table words this code its own way: \"" << ::testing::PrintToString(text)
                     << "\"";
    }
    EXPECT_EQ(text, GetParam().windowsText);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SystemErrorText,
    ::testing::Values(SystemTextCase{"file_not_found", ERROR_FILE_NOT_FOUND, L"The system cannot find the file specified."},
                      SystemTextCase{"access_denied", ERROR_ACCESS_DENIED, L"Access is denied."},
                      SystemTextCase{"bad_exe_format", ERROR_BAD_EXE_FORMAT, L"%1 is not a valid Win32 application."},
                      SystemTextCase{"sharing_violation", ERROR_SHARING_VIOLATION,
                                     L"The process cannot access the file because it is being used by another "
                                     L"process."}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(SystemErrorText, CodeWithoutTextFallsBackToItsUnsignedDecimal) {
    EXPECT_EQ(DescribeWindowsError(0x2000ABCDu), L"Windows error 536914893");
    EXPECT_EQ(DescribeWindowsError(0xE0F0F0F0u), L"Windows error 3773886704");
}

// -- Staging file and digest -------------------------------------------

TEST(StagingPath, IsTheTemporaryFolderThenTheFixedNamesAndTheFolderExists) {
    const std::wstring folder = TempFolder() + L"VeltoBootstrap";
    EXPECT_EQ(PrepareStagingPath(), folder + L"\\Velto_Setup.exe");
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(PrepareStagingPath(), folder + L"\\Velto_Setup.exe") << "an existing folder is no error";
}

struct DigestCase {
    std::size_t size;
    std::wstring sha256;  // of Pattern(size)
};

class StagedDigest : public ScratchFolder, public ::testing::WithParamInterface<DigestCase> {};

TEST_P(StagedDigest, WrittenFileHasTheBytesAndTheirDigest) {
    const std::wstring path = root + L"\\Velto_Setup.exe";
    std::wstring errorText = L"untouched";
    ASSERT_TRUE(WriteStagingFile(path, Pattern(GetParam().size + 7), errorText));
    const ByteBuffer bytes = Pattern(GetParam().size);
    ASSERT_TRUE(WriteStagingFile(path, bytes, errorText)) << "a longer earlier file is replaced";
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(ReadBytes(path), std::string(bytes.begin(), bytes.end()));

    Sha256Digest digest{};
    ASSERT_TRUE(HashFileSha256(path, digest, errorText));
    EXPECT_EQ(BytesToHex(digest.data(), digest.size()), GetParam().sha256);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, StagedDigest,
    ::testing::Values(DigestCase{0, L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
                      DigestCase{1048576, L"631B84027D6B9E52B539C4E8373622D23032DFADC64D60AF87339C9037E4F769"},
                      DigestCase{1048577, L"5769F52BC3EEF28AFA39C6FC68CADB7D0BD69812AE3A3D71452F519EC3C7AA56"}));

using StagingFailure = ScratchFolder;

TEST_F(StagingFailure, FolderInPlaceOfTheFileIsRefusedWithTheSystemText) {
    const std::wstring path = root + L"\\Velto_Setup.exe";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    std::wstring errorText;
    EXPECT_FALSE(WriteStagingFile(path, Pattern(10), errorText));
    EXPECT_EQ(errorText, L"Could not create the installer file: " + DescribeWindowsError(ERROR_ACCESS_DENIED));
}

TEST_F(StagingFailure, FileOpenElsewhereWithoutSharingIsRefused) {
    const std::wstring path = root + L"\\Velto_Setup.exe";
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    std::wstring errorText;
    EXPECT_FALSE(WriteStagingFile(path, Pattern(10), errorText));
    CloseHandle(other);
    EXPECT_EQ(errorText, L"Could not create the installer file: " + DescribeWindowsError(ERROR_SHARING_VIOLATION));
}

TEST_F(StagingFailure, MissingFileCannotBeHashed) {
    Sha256Digest digest{};
    std::wstring errorText;
    EXPECT_FALSE(HashFileSha256(root + L"\\missing.exe", digest, errorText));
    EXPECT_EQ(errorText, L"Could not open the downloaded installer for hashing.");
}

// -- Installer launch --------------------------------------------------

class Launch : public ScratchFolder {
protected:
    // A copy of the helper program at a path with spaces whose name sets
    // its exit code.
    std::wstring ProgramEndingWith(const std::wstring& code) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring helper = self;
        helper = helper.substr(0, helper.find_last_of(L'\\') + 1) + L"" VELTO_EXIT_WITH_PROGRAM;
        const std::wstring folder = root + L"\\Program Files (x86)";
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring program = folder + L"\\Velto Setup " + code + L".exe";
        EXPECT_TRUE(CopyFileW(helper.c_str(), program.c_str(), FALSE)) << "no helper program beside the test";
        return program;
    }
};

struct ExitCase {
    const char* name;
    std::wstring code;  // in the program's name
    int expected;
};

class LaunchExitCode : public Launch, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(LaunchExitCode, IsReturnedUnchangedAndTheProgramGetsItsQuotedPathOnly) {
    const std::wstring program = ProgramEndingWith(GetParam().code);
    std::wstring errorText = L"untouched";
    EXPECT_EQ(LaunchInstaller(program, errorText), GetParam().expected);
    EXPECT_EQ(errorText, L"untouched");
    const std::string line = ReadBytes(program + L".cmdline");
    const std::wstring quoted = L"\"" + program + L"\"";
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(line.data()), line.size() / sizeof(wchar_t)), quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LaunchExitCode,
    ::testing::Values(ExitCase{"zero", L"0", 0}, ExitCase{"three", L"3", 3}, ExitCase{"still_active", L"259", 259},
                      ExitCase{"reboot_required", L"3010", 3010},
                      ExitCase{"hresult", L"2147942405", static_cast<int>(0x80070005u)},
                      ExitCase{"all_bits_but_one", L"4294967294", -2},
                      // Indistinguishable from a failed start; the message stays as it was.
                      ExitCase{"all_bits", L"4294967295", -1}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct StartFailureCase {
    const char* name;
    const char* content;  // null: no file at all
    DWORD expectedError;
};

class LaunchStartFailure : public Launch, public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(LaunchStartFailure, ReturnsMinusOneWithTheSystemText) {
    const std::wstring path = root + L"\\Velto_Setup.exe";
    if (GetParam().content != nullptr) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, GetParam().content, static_cast<DWORD>(strlen(GetParam().content)), &written, nullptr);
        CloseHandle(file);
    }
    std::wstring errorText = L"earlier text";
    EXPECT_EQ(LaunchInstaller(path, errorText), -1);
    EXPECT_EQ(errorText, L"Could not start Velto Setup: " + DescribeWindowsError(GetParam().expectedError));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchStartFailure,
    ::testing::Values(StartFailureCase{"missing", nullptr, ERROR_FILE_NOT_FOUND},
                      StartFailureCase{"text_file", "This is not a program.\r\n", ERROR_BAD_EXE_FORMAT}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
