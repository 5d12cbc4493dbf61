// The Linux layer's files, folders and error texts, used for real.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/windows_error_text.h"
#include "platform/linux/support/handle_table.h"
#include "platform/win_api.h"
#include "shared/scratch_folder.h"

namespace {

using namespace velto::test;

class LayerFiles : public ScratchFolderTest {
protected:
    HANDLE Create(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
        return CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    // Deletes what stands at path, a link itself, through a handle, as the
    // staging folder's removal does.
    static bool DeleteThroughHandle(const std::wstring& path) {
        HANDLE entry = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (entry == INVALID_HANDLE_VALUE) return false;
        FILE_DISPOSITION_INFO disposition = {TRUE};
        const bool deleted = SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof(disposition));
        const DWORD error = GetLastError();
        CloseHandle(entry);
        SetLastError(error);
        return deleted;
    }
    bool WriteAll(HANDLE file, const std::string& text) {
        DWORD written = 0;
        return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    }
};

TEST_F(LayerFiles, CreateAlwaysTruncatesAnEarlierFile) {
    const std::string path = Under("staged.exe");
    WriteWholeFile(path, "an earlier, longer file");
    HANDLE file = Create(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(WriteAll(file, "new"));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadWholeFile(path), "new");
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
    WriteWholeFile(target, "keep me");
    ASSERT_EQ(symlink(target.c_str(), Under("link").c_str()), 0);
    ASSERT_EQ(symlink(Under("nowhere").c_str(), Under("dangling").c_str()), 0);

    EXPECT_EQ(Create(Under("link"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(Under("link"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(Under("dangling"), GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Create(Under("link"), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_EQ(ReadWholeFile(target), "keep me");
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
                      OpenFailureCase{"folder_for_reading", "folder", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
                      OpenFailureCase{"folder_for_attributes", "folder", FILE_READ_ATTRIBUTES, OPEN_EXISTING, ERROR_ACCESS_DENIED},
                      OpenFailureCase{"missing_for_attributes", "missing.exe", FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                                      ERROR_FILE_NOT_FOUND},
                      OpenFailureCase{"created_for_attributes", "new.exe", FILE_READ_ATTRIBUTES, CREATE_ALWAYS,
                                      ERROR_NOT_SUPPORTED},
                      // CREATE_NEW, OPEN_ALWAYS: ways of opening nothing here uses.
                      OpenFailureCase{"create_new_refused", "new.exe", GENERIC_WRITE, 1, ERROR_INVALID_PARAMETER},
                      OpenFailureCase{"open_always_refused", "new.exe", GENERIC_WRITE, 4, ERROR_INVALID_PARAMETER}),
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

// What a second open, or a delete, meets while a first open holds the
// file. Share modes are Windows' between users of the layer; a program
// outside it meets none of them.
enum class Second { Open, Delete, RenameOutsideTheLayer };

struct ShareCase {
    const char* name;
    DWORD holderAccess;
    DWORD holderShare;
    Second second;
    DWORD access;
    DWORD share;
    bool refused;
};

class ShareMode : public LayerFiles, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(ShareMode, RefusesWhatWindowsRefuses) {
    const ShareCase& row = GetParam();
    const std::string path = Under("held.exe");
    WriteWholeFile(path, "held");
    HANDLE holder = Create(path, row.holderAccess, row.holderShare, OPEN_EXISTING);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    bool done = false;
    if (row.second == Second::Open) {
        HANDLE second = Create(path, row.access, row.share, OPEN_EXISTING);
        done = second != INVALID_HANDLE_VALUE;
        if (done) CloseHandle(second);
    } else if (row.second == Second::Delete) {
        done = DeleteThroughHandle(Wide(path));
    } else {
        done = rename(path.c_str(), Under("moved.exe").c_str()) == 0;
    }
    EXPECT_EQ(done, !row.refused);
    if (row.refused) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(ReadWholeFile(path), "held");
    }
    EXPECT_TRUE(CloseHandle(holder));
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

INSTANTIATE_TEST_SUITE_P(
    Cases, ShareMode,
    ::testing::Values(
        ShareCase{"reader_beside_reader", GENERIC_READ, FILE_SHARE_READ, Second::Open, GENERIC_READ, FILE_SHARE_READ, false},
        ShareCase{"writer_beside_reader_that_shares_reading", GENERIC_READ, FILE_SHARE_READ, Second::Open, GENERIC_WRITE,
                  kShareAll, true},
        ShareCase{"reader_refusing_writers_beside_a_writer", GENERIC_WRITE, kShareAll, Second::Open, GENERIC_READ,
                  FILE_SHARE_READ, true},
        ShareCase{"writer_beside_writer_sharing_writing", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, Second::Open,
                  GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        ShareCase{"reader_beside_exclusive_reader", GENERIC_READ, 0, Second::Open, GENERIC_READ, kShareAll, true},
        ShareCase{"attributes_beside_exclusive_writer", GENERIC_WRITE, 0, Second::Open, FILE_READ_ATTRIBUTES, 0, false},
        ShareCase{"no_data_access_beside_exclusive_writer", GENERIC_WRITE, 0, Second::Open, 0, 0, false},
        ShareCase{"exclusive_writer_beside_attributes", FILE_READ_ATTRIBUTES, 0, Second::Open, GENERIC_WRITE, 0, false},
        ShareCase{"delete_of_a_held_file", GENERIC_READ, FILE_SHARE_READ, Second::Delete, 0, 0, true},
        ShareCase{"delete_of_a_file_held_sharing_deletion", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  Second::Delete, 0, 0, false},
        ShareCase{"rename_outside_the_layer", GENERIC_READ, 0, Second::RenameOutsideTheLayer, 0, 0, false}),
    [](const ::testing::TestParamInfo<ShareCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(LayerFiles, FileInformationTellsFilesApart) {
    const std::string path = Under("staged.exe");
    WriteWholeFile(path, "12345");
    WriteWholeFile(Under("other.exe"), "12345");
    ASSERT_EQ(link(path.c_str(), Under("second-name.exe").c_str()), 0);
    HANDLE reader = Create(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE attributes = Create(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING);
    HANDLE other = Create(Under("other.exe"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION first = {};
    BY_HANDLE_FILE_INFORMATION second = {};
    BY_HANDLE_FILE_INFORMATION third = {};
    ASSERT_TRUE(GetFileInformationByHandle(reader, &first));
    ASSERT_TRUE(GetFileInformationByHandle(attributes, &second));
    ASSERT_TRUE(GetFileInformationByHandle(other, &third));
    EXPECT_EQ(first.dwVolumeSerialNumber, second.dwVolumeSerialNumber);
    EXPECT_EQ(first.nFileIndexLow, second.nFileIndexLow);
    EXPECT_EQ(first.nFileIndexHigh, second.nFileIndexHigh);
    EXPECT_NE(first.nFileIndexLow, third.nFileIndexLow);
    EXPECT_EQ(first.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(first.nFileSizeLow, 5u);
    EXPECT_EQ(first.nNumberOfLinks, 2u);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    const unsigned long long written = (static_cast<unsigned long long>(first.ftLastWriteTime.dwHighDateTime) << 32) |
                                       first.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, (info.st_mtim.tv_sec + 11644473600ULL) * 10000000ULL + info.st_mtim.tv_nsec / 100);

    // Attributes only: the file's data cannot be reached through it.
    char byte = 0;
    DWORD count = 0;
    EXPECT_FALSE(ReadFile(attributes, &byte, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    for (HANDLE handle : {reader, attributes, other}) CloseHandle(handle);
}

// Deleting through a handle acts on the entry itself: a link, never what
// it points to; a folder only when it is empty.
enum class Entry { EmptyFolder, FolderWithEntry, File, LinkToFolder, Nothing };

struct EntryCase {
    const char* name;
    Entry entry;
    const wchar_t* suffix;  // after the entry's name
    DWORD error;
};

class EntryDeletion : public LayerFiles, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryDeletion, ActsOnTheEntryItself) {
    const EntryCase& row = GetParam();
    const std::string path = Under("VeltoBootstrap");
    std::filesystem::create_directory(Under("target"));
    WriteWholeFile(Under("target/kept.dll"), "kept");
    if (row.entry == Entry::EmptyFolder || row.entry == Entry::FolderWithEntry) std::filesystem::create_directory(path);
    if (row.entry == Entry::FolderWithEntry) WriteWholeFile(path + "/planted.dll", "planted");
    if (row.entry == Entry::File) WriteWholeFile(path, "file");
    if (row.entry == Entry::LinkToFolder) std::filesystem::create_directory_symlink(Under("target"), path);
    const bool done = DeleteThroughHandle(Wide(path) + row.suffix);
    EXPECT_EQ(done, row.error == ERROR_SUCCESS);
    if (!done) {
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(path)), !done && row.entry != Entry::Nothing);
    EXPECT_EQ(ReadWholeFile(Under("target/kept.dll")), "kept");  // never what a link points to
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryDeletion,
    ::testing::Values(EntryCase{"empty_folder", Entry::EmptyFolder, L"", ERROR_SUCCESS},
                      EntryCase{"folder_with_entry", Entry::FolderWithEntry, L"", ERROR_DIR_NOT_EMPTY},
                      EntryCase{"file", Entry::File, L"", ERROR_SUCCESS},
                      EntryCase{"link", Entry::LinkToFolder, L"", ERROR_SUCCESS},
                      EntryCase{"link_named_with_separator", Entry::LinkToFolder, L"\\", ERROR_SUCCESS},
                      EntryCase{"nothing", Entry::Nothing, L"", ERROR_FILE_NOT_FOUND}),
    [](const ::testing::TestParamInfo<EntryCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(LayerFiles, ReadFileReturnsWholeRequestsThenZeroAtTheEnd) {
    const std::string path = Under("data");
    WriteWholeFile(path, std::string(10000, 'r'));
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

    WriteWholeFile(folder + "/f", "x");
    EXPECT_TRUE(DeleteThroughHandle(Wide(folder + "/f")));
    EXPECT_FALSE(std::filesystem::exists(folder + "/f"));
    EXPECT_FALSE(DeleteThroughHandle(Wide(folder + "/f")));
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
                                           ErrorTextCase{ERROR_FILE_INVALID, ESTALE},
                                           ErrorTextCase{ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
                                           ErrorTextCase{ERROR_DIRECTORY, ENOTDIR},
                                           ErrorTextCase{ERROR_MOD_NOT_FOUND, ELIBACC},
                                           ErrorTextCase{ERROR_NOT_SAME_DEVICE, EXDEV},
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
