// The system's steps against the real Windows API: the error text from the
// system's message table, the staging file and its digest on real files,
// and the launch of real programs.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/installer_launch.h"
#include "base/windows_error_text.h"
#include "verify/file_digest.h"
#include "verify/hex_text.h"
#include "verify/file_identity.h"
#include "verify/staged_installer.h"
#include "verify/staging_file.h"
#include "shared/scratch_folder.h"
#include "wine_differences.h"

namespace {

using velto::test::ReadWholeFile;

// A scratch folder of the test's own, named as Windows text.
class ScratchFolder : public velto::test::ScratchFolderTest {
protected:
    const std::wstring wideRoot = Wide(root);
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

// The folder's descriptor as read back, in SDDL, owner and DACL.
std::wstring FolderSecurity(const std::wstring& folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, wanted, &owner, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS) {
        return L"(unreadable)";
    }
    LPWSTR text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, wanted, &text, nullptr);
    const std::wstring result = text != nullptr ? text : L"(none)";
    LocalFree(text);
    LocalFree(descriptor);
    return result;
}

std::wstring CurrentUserSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    BYTE buffer[256] = {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
    CloseHandle(token);
    LPWSTR text = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text);
    const std::wstring sid = text != nullptr ? text : L"";
    LocalFree(text);
    return sid;
}

// Each run's folder is new, in Windows' own temporary folder, held against
// renaming; the staged installer and the folder go when the run is done.
TEST(StagingPath, IsANewHeldFolderUnderWindowsTemporaryFolder) {
    wchar_t windows[MAX_PATH + 1] = {};
    ASSERT_NE(GetSystemWindowsDirectoryW(windows, MAX_PATH + 1), 0u);
    StagedInstaller staged;
    std::wstring errorText;
    ASSERT_TRUE(StageInstaller(ByteBuffer{'M', 'Z'}, staged, errorText));
    const std::wstring prefix = std::wstring(windows) + L"\\Temp\\VeltoBootstrap-";
    ASSERT_EQ(staged.path.compare(0, prefix.size(), prefix), 0) << std::string(staged.path.begin(), staged.path.end());
    EXPECT_EQ(staged.path.size(), prefix.size() + 32 + std::wstring(L"\\Velto_Setup.exe").size());

    const std::wstring security = FolderSecurity(staged.folderPath);
    if (velto::test::WineVersion() != nullptr) {
        // Wine neither stores nor enforces the descriptor: it turns it into
        // Unix mode bits and reads back the owner and an entry per mode.
        const std::wstring user = CurrentUserSid();
        EXPECT_EQ(security, L"O:" + user + L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + L")");
    } else {
        EXPECT_EQ(security, L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)");
    }
    const std::wstring aside = staged.folderPath + L"-moved";
    EXPECT_FALSE(MoveFileExW(staged.folderPath.c_str(), aside.c_str(), 0)) << "a held folder cannot be renamed";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    StagedInstaller second;
    ASSERT_TRUE(StageInstaller(ByteBuffer{'M', 'Z'}, second, errorText));
    EXPECT_NE(second.folderPath, staged.folderPath) << "another run stages beside it";
    ASSERT_TRUE(CreateDirectoryW((second.folderPath + L"\\Temp").c_str(), nullptr));
    DiscardStagedInstaller(second);
    DiscardStagedInstaller(staged);
    EXPECT_EQ(GetFileAttributesW(staged.folderPath.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(second.folderPath.c_str()), INVALID_FILE_ATTRIBUTES) << "with what was made in it";
}

struct DigestCase {
    std::size_t size;
    std::wstring sha256;  // of Pattern(size)
};

class StagedDigest : public ScratchFolder, public ::testing::WithParamInterface<DigestCase> {};

TEST_P(StagedDigest, WrittenFileHasTheBytesAndTheirDigest) {
    const std::wstring path = wideRoot + L"\\Velto_Setup.exe";
    std::wstring errorText = L"untouched";
    FileIdentity written;
    ASSERT_TRUE(WriteStagingFile(path, Pattern(GetParam().size + 7), written, errorText));
    const ByteBuffer bytes = Pattern(GetParam().size);
    ASSERT_TRUE(WriteStagingFile(path, bytes, written, errorText)) << "a longer earlier file is replaced";
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(ReadWholeFile(path), std::string(bytes.begin(), bytes.end()));

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
    const std::wstring path = wideRoot + L"\\Velto_Setup.exe";
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    std::wstring errorText;
    FileIdentity written;
    EXPECT_FALSE(WriteStagingFile(path, Pattern(10), written, errorText));
    EXPECT_EQ(errorText, kFileNotCreatedPrefix + DescribeWindowsError(ERROR_ACCESS_DENIED));
}

TEST_F(StagingFailure, FileOpenElsewhereWithoutSharingIsRefused) {
    const std::wstring path = wideRoot + L"\\Velto_Setup.exe";
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    std::wstring errorText;
    FileIdentity written;
    EXPECT_FALSE(WriteStagingFile(path, Pattern(10), written, errorText));
    CloseHandle(other);
    EXPECT_EQ(errorText, kFileNotCreatedPrefix + DescribeWindowsError(ERROR_SHARING_VIOLATION));
}

TEST_F(StagingFailure, FileReplacedBeforeTheHoldIsRefused) {
    const std::wstring path = wideRoot + L"\\Velto_Setup.exe";
    const std::wstring replacement = wideRoot + L"\\replacement.exe";
    std::wstring errorText;
    FileIdentity written;
    FileIdentity other;
    ASSERT_TRUE(WriteStagingFile(path, Pattern(10), written, errorText));
    // The same bytes in another file, made while the first still exists so
    // that the file system cannot give it the first one's index again.
    ASSERT_TRUE(WriteStagingFile(replacement, Pattern(10), other, errorText));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    ASSERT_TRUE(MoveFileExW(replacement.c_str(), path.c_str(), 0));
    HANDLE hold = nullptr;
    EXPECT_FALSE(HoldStagingFile(path, written, hold, errorText));
    EXPECT_EQ(hold, INVALID_HANDLE_VALUE);
    EXPECT_EQ(errorText, kFileNotLockedPrefix + DescribeWindowsError(ERROR_FILE_INVALID));
    ASSERT_TRUE(HoldStagingFile(path, other, hold, errorText)) << "the file that is there now";
    CloseHandle(hold);
}

TEST_F(StagingFailure, MissingFileCannotBeHashed) {
    Sha256Digest digest{};
    std::wstring errorText;
    EXPECT_FALSE(HashFileSha256(wideRoot + L"\\missing.exe", digest, errorText));
    EXPECT_EQ(errorText, kNotOpenedForHashingMessage);
}

// -- Installer launch --------------------------------------------------

class Launch : public ScratchFolder {
protected:
    // Holds path open as the staging step holds the verified installer.
    static HANDLE Held(const std::wstring& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    // A copy of the helper program at a path with spaces whose name sets
    // its exit code.
    std::wstring ProgramEndingWith(const std::wstring& code) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring helper = self;
        helper = helper.substr(0, helper.find_last_of(L'\\') + 1) + L"" VELTO_EXIT_WITH_PROGRAM;
        const std::wstring folder = wideRoot + L"\\Program Files (x86)";
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring program = folder + L"\\Velto Setup " + code + L".exe";
        EXPECT_TRUE(CopyFileW(helper.c_str(), program.c_str(), FALSE)) << "no helper program beside the test";
        return program;
    }
};

struct ExitCase {
    const char* name;
    std::wstring code;  // in the program's name
    DWORD expected;
};

class LaunchExitCode : public Launch, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(LaunchExitCode, IsReturnedUnchangedAndTheProgramGetsItsQuotedPathOnly) {
    const std::wstring program = ProgramEndingWith(GetParam().code);
    std::wstring errorText = L"untouched";
    HANDLE held = Held(program);
    DWORD exitCode = 12345;
    EXPECT_TRUE(LaunchInstaller(program, held, exitCode, errorText));
    CloseHandle(held);
    EXPECT_EQ(exitCode, GetParam().expected);
    EXPECT_EQ(errorText, L"untouched");
    const std::string line = ReadWholeFile(program + L".cmdline");
    const std::wstring quoted = L"\"" + program + L"\"";
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(line.data()), line.size() / sizeof(wchar_t)), quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LaunchExitCode,
    ::testing::Values(ExitCase{"zero", L"0", 0}, ExitCase{"three", L"3", 3}, ExitCase{"still_active", L"259", 259},
                      ExitCase{"reboot_required", L"3010", 3010},
                      ExitCase{"hresult", L"2147942405", 0x80070005u},
                      ExitCase{"all_bits_but_one", L"4294967294", 0xFFFFFFFEu},
                      ExitCase{"all_bits", L"4294967295", 0xFFFFFFFFu}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

struct StartFailureCase {
    const char* name;
    const char* content;  // null: no file at all
    DWORD expectedError;
};

class LaunchStartFailure : public Launch, public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(LaunchStartFailure, IsNotStartedAndGivesTheSystemText) {
    const std::wstring path = wideRoot + L"\\Velto_Setup.exe";
    if (GetParam().content != nullptr) velto::test::WriteWholeFile(path, GetParam().content);
    std::wstring errorText = L"earlier text";
    HANDLE held = Held(path);
    DWORD exitCode = 12345;
    EXPECT_FALSE(LaunchInstaller(path, held, exitCode, errorText));
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(errorText, L"Could not start Velto Setup: " + DescribeWindowsError(GetParam().expectedError));
}

TEST_F(Launch, ProgramThatIsNotTheVerifiedFileNeverRuns) {
    const std::wstring program = ProgramEndingWith(L"7");
    const std::wstring verified = ProgramEndingWith(L"8");
    HANDLE held = Held(verified);
    DWORD exitCode = 12345;
    std::wstring errorText;
    EXPECT_FALSE(LaunchInstaller(program, held, exitCode, errorText));
    CloseHandle(held);
    EXPECT_EQ(errorText, L"Could not start Velto Setup: " + DescribeWindowsError(ERROR_FILE_INVALID));
    EXPECT_FALSE(std::filesystem::exists(program + L".cmdline")) << "the program ran";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LaunchStartFailure,
    ::testing::Values(StartFailureCase{"missing", nullptr, ERROR_FILE_NOT_FOUND},
                      StartFailureCase{"text_file", "This is not a program.\r\n", ERROR_BAD_EXE_FORMAT}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
