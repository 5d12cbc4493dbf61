// The Linux layer's files, folders and error texts, used for real.
#include <unistd.h>

#include <cstring>

#include "app/windows_error_text.h"
#include "platform/linux/handle_table.h"
#include "platform/win_api.h"
#include "platform/scratch_folder.h"

namespace {

class LayerFiles : public ScratchFolderTest {
protected:
    HANDLE Create(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
        return CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    bool WriteAll(HANDLE file, const std::string& text) {
        DWORD written = 0;
        return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    }
};

TEST_F(LayerFiles, CreateAlwaysTruncatesAnEarlierFile) {
    const std::string path = Under("staged.exe");
    WriteText(path, "an earlier, longer file");
    HANDLE file = Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(WriteAll(file, "new"));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadText(path), "new");
}

TEST_F(LayerFiles, NewFilesAreTheOwnersAlone) {
    const std::string path = Under("new.exe");
    HANDLE file = Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(ModeOf(path) & 077, 0u);
}

TEST_F(LayerFiles, SymbolicLinksAreNeverFollowed) {
    const std::string target = Under("target");
    WriteText(target, "keep me");
    ASSERT_EQ(symlink(target.c_str(), Under("link").c_str()), 0);
    ASSERT_EQ(symlink(Under("nowhere").c_str(), Under("dangling").c_str()), 0);

    EXPECT_EQ(Create(Under("link"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(Under("link"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(Under("dangling"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadText(target), "keep me");
    EXPECT_FALSE(std::filesystem::exists(Under("nowhere")));
}

struct OpenFailureCase {
    const char* name;
    std::string relativePath;
    DWORD access;
    DWORD disposition;
    DWORD error;
};

class OpenFailure : public LayerFiles, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenFailure, ReportsTheWindowsCode) {
    std::filesystem::create_directory(Under("folder"));
    EXPECT_EQ(Create(Under(GetParam().relativePath), GetParam().access, FILE_SHARE_READ, GetParam().disposition),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenFailure,
    ::testing::Values(OpenFailureCase{"missing_file", "missing.exe", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenFailureCase{"missing_folder", "none/x.exe", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
                      OpenFailureCase{"folder_for_writing", "folder", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
                      OpenFailureCase{"folder_for_reading", "folder", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED}),
    [](const ::testing::TestParamInfo<OpenFailureCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(LayerFiles, InvalidUtf16PathIsAnInvalidName) {
    std::wstring path = Wide(Under("x"));
    path.push_back(static_cast<wchar_t>(0xD800));
    EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(LayerFiles, ShareModesKeepWritersAndReadersApart) {
    const std::string path = Under("shared.exe");
    HANDLE writer = Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(writer);

    HANDLE hold = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    HANDLE reader = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(reader);
    CloseHandle(hold);
}

TEST_F(LayerFiles, ReadFileReturnsWholeRequestsThenZeroAtTheEnd) {
    const std::string path = Under("data");
    WriteText(path, std::string(10000, 'r'));
    HANDLE file = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string buffer(8192, '\0');
    DWORD read = 1;
    EXPECT_TRUE(ReadFile(file, buffer.data(), 8192, &read, nullptr));
    EXPECT_EQ(read, 8192u);
    EXPECT_TRUE(ReadFile(file, buffer.data(), 8192, &read, nullptr));
    EXPECT_EQ(read, 10000u - 8192u);
    EXPECT_TRUE(ReadFile(file, buffer.data(), 8192, &read, nullptr));
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
}

TEST_F(LayerFiles, DeleteAndCreateFolder) {
    const std::string folder = Under("VeltoBootstrap");
    EXPECT_TRUE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_FALSE(CreateDirectoryW(Wide(folder).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(Wide(Under("a/b")).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    WriteText(folder + "/f", "x");
    EXPECT_TRUE(DeleteFileW(Wide(folder + "/f").c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder + "/f"));
    EXPECT_FALSE(DeleteFileW(Wide(folder + "/f").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(LayerFiles, EveryHandleIsReleasedAndCheckedOnUse) {
    const std::size_t before = velto::platform::OpenHandleCount();
    HANDLE file = Create(Under("h"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_EQ(velto::platform::OpenHandleCount(), before + 1);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(velto::platform::OpenHandleCount(), before);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

struct ErrorTextCase {
    DWORD code;
    int errnum;  // 0: no system text
};

class SystemErrorText : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(SystemErrorText, IsTheCLibraryTextOfTheMatchingErrno) {
    const std::wstring text = DescribeWindowsError(GetParam().code);
    if (GetParam().errnum == 0) {
        EXPECT_EQ(text, L"Windows error " + std::to_wstring(GetParam().code));
        return;
    }
    const std::string expected = std::strerror(GetParam().errnum);
    EXPECT_EQ(text, std::wstring(expected.begin(), expected.end()));
}

INSTANTIATE_TEST_SUITE_P(Codes, SystemErrorText,
                         ::testing::Values(ErrorTextCase{ERROR_FILE_NOT_FOUND, ENOENT},
                                           ErrorTextCase{ERROR_PATH_NOT_FOUND, ENOENT},
                                           ErrorTextCase{ERROR_ACCESS_DENIED, EACCES},
                                           ErrorTextCase{ERROR_SHARING_VIOLATION, EBUSY},
                                           ErrorTextCase{ERROR_FILE_EXISTS, EEXIST},
                                           ErrorTextCase{ERROR_DISK_FULL, ENOSPC},
                                           ErrorTextCase{ERROR_INVALID_NAME, EILSEQ},
                                           ErrorTextCase{ERROR_BAD_EXE_FORMAT, ENOEXEC},
                                           ErrorTextCase{ERROR_CANT_RESOLVE_FILENAME, ELOOP},
                                           ErrorTextCase{12002, 0}, ErrorTextCase{12175, 0},
                                           ErrorTextCase{0x800B0100u, 0}, ErrorTextCase{999999, 0}));

TEST(FormatMessage, EndsTableEntriesWithALineBreakAndFailsForUnknownCodes) {
    LPWSTR buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length = FormatMessageW(flags, nullptr, 5, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(std::wstring(buffer).size(), length);
    EXPECT_EQ(std::wstring(buffer).substr(length - 2), L"\r\n");
    LocalFree(buffer);

    buffer = nullptr;
    EXPECT_EQ(FormatMessageW(flags, nullptr, 12029, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr), 0u);
    EXPECT_EQ(buffer, nullptr);
}

}  // namespace
