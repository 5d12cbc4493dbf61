// The staging folder, path, write and hold, and their one owner, against
// scripted file operations.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/windows_error_text.h"
#include "fakes/fake_files.h"
#include "verify/staged_installer.h"
#include "verify/staging_file.h"
#include "verify/staging_folder.h"

namespace {

const std::wstring kTemp = L"C:\\Windows\\Temp\\";
const std::wstring kPath = L"C:\\Windows\\Temp\\VeltoBootstrap-01\\Velto_Setup.exe";
const NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
const NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);

// The staging folder the n-th random draw names.
std::wstring FolderOfDraw(int n) {
    wchar_t digits[3] = {};
    swprintf(digits, 3, L"%02X", n);
    std::wstring name = L"VeltoBootstrap-";
    for (int i = 0; i < 16; ++i) name += digits;
    return kTemp + name;
}

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + 32 : c; });
    return text;
}

// The calls that begin with one of these words.
std::vector<std::wstring> CallsOf(std::initializer_list<std::wstring> words) {
    std::vector<std::wstring> found;
    for (const std::wstring& call : Files().calls) {
        for (const std::wstring& word : words) {
            if (call.rfind(word + L" ", 0) == 0) found.push_back(call);
        }
    }
    return found;
}

class StagingFileTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFiles(); }
    void TearDown() override { EXPECT_EQ(Files().openPaths, 0) << "every handle opened to examine or delete is closed"; }
    bool Write(std::size_t size) {
        bytes.assign(size, 0x42);
        return WriteStagingFile(kPath, bytes, written, errorText);
    }
    std::wstring Prepare() { return PrepareStagingPath(folder); }
    ByteBuffer bytes;
    FileIdentity written;
    HANDLE folder = nullptr;
    std::wstring errorText = L"untouched";
};

// -- The folder: a new, unguessable name in Windows' temporary folder -----

struct FolderCase {
    const char* name;
    void (*arrange)(FileScript&);
    int madeFromDraw;  // 0: none made
    std::size_t attempts;
    bool letGo;  // a folder was made, then refused and let go
};

class StagingFolder : public StagingFileTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(StagingFolder, IsNewAndWhereItWasAskedForOrRefused) {
    GetParam().arrange(Files());
    const std::wstring path = Prepare();
    const int made = GetParam().madeFromDraw;
    EXPECT_EQ(path, made != 0 ? FolderOfDraw(made) + L"\\Velto_Setup.exe" : L"");
    EXPECT_EQ(folder != INVALID_HANDLE_VALUE, made != 0);
    EXPECT_EQ(CallsOf({L"make"}).size(), GetParam().attempts);
    if (made != 0) {
        EXPECT_EQ(CallsOf({L"make"}).back(), L"make folder \\??\\" + FolderOfDraw(made));
    }
    EXPECT_EQ(CallsOf({L"close"}).size(), GetParam().letGo ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StagingFolder,
    ::testing::Values(
        FolderCase{"new_name", [](FileScript&) {}, 1, 1, false},
        FolderCase{"taken_name_gives_way_to_a_new_one", [](FileScript& s) { s.folderCreates = {kNameCollision}; }, 2, 2,
                   false},
        FolderCase{"names_taken_again_and_again", [](FileScript& s) { s.folderCreates.assign(8, kNameCollision); }, 0, 8,
                   false},
        FolderCase{"other_failure_ends_at_once", [](FileScript& s) { s.folderCreates = {kAccessDenied}; }, 0, 1, false},
        FolderCase{"no_random_name_no_folder", [](FileScript& s) { s.randomFails = true; }, 0, 0, false},
        FolderCase{"made_somewhere_else", [](FileScript& s) { s.finalPaths = {L"D:\\Users\\me\\VeltoBootstrap"}; }, 0, 1,
                   true},
        FolderCase{"reported_in_the_case_on_disk", [](FileScript& s) { s.finalPaths = {Lower(FolderOfDraw(1))}; }, 1, 1,
                   false},
        FolderCase{"windows_folder_unreadable", [](FileScript& s) { s.windowsFolderResult = 0xFFFF; }, 0, 0, false}),
    [](const ::testing::TestParamInfo<FolderCase>& caseInfo) { return std::string(caseInfo.param.name); });

// -- Folders that killed runs left: removed only when provably this program's

const wchar_t kProtected[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)";

struct LeftoverCase {
    const char* name;
    std::wstring descriptor;  // empty: a link
    bool held;
    bool removed;
};

class Leftover : public StagingFileTest, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(Leftover, IsRemovedOnlyWhenItIsThisProgramsOwn) {
    const std::wstring name = L"VeltoBootstrap-" + std::wstring(32, L'A');
    const std::wstring path = kTemp + name;
    Files().tempEntries = {{name, GetParam().descriptor}, {L"VeltoBootstrap-notours", kProtected}};
    if (GetParam().held) Files().heldByAnotherRun = {name};
    Files().contents[path] = {L"Velto_Setup.exe"};
    ASSERT_NE(Prepare(), L"");
    std::vector<std::wstring> expected;
    if (GetParam().removed) expected = {L"deleted " + path + L"\\Velto_Setup.exe", L"deleted " + path};
    EXPECT_EQ(CallsOf({L"deleted"}), expected);
    EXPECT_EQ(CallsOf({L"examine"}), (std::vector<std::wstring>{L"examine " + path})) << "only staging names";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Leftover,
    ::testing::Values(LeftoverCase{"exact_owner_and_descriptor", kProtected, false, true},
                      LeftoverCase{"held_by_a_live_run", kProtected, true, false},
                      LeftoverCase{"owned_by_system", L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)", false, false},
                      LeftoverCase{"dacl_not_protected", L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)", false, false},
                      LeftoverCase{"another_dacl", L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false, false},
                      LeftoverCase{"link", L"", false, false}),
    [](const ::testing::TestParamInfo<LeftoverCase>& caseInfo) { return std::string(caseInfo.param.name); });

// -- The write -----------------------------------------------------------

struct ChunkCase {
    std::size_t size;
    std::vector<DWORD> writes;
};

class Chunks : public StagingFileTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(Chunks, WritesAtMostOneMebibytePerCall) {
    ASSERT_TRUE(Write(GetParam().size));
    EXPECT_EQ(Files().writeSizes, GetParam().writes);
    EXPECT_EQ(Files().bytesWritten, GetParam().size);
    EXPECT_EQ(Files().calls.back(), L"close file");
    EXPECT_EQ(Files().calls[Files().calls.size() - 2], L"flush file");
    EXPECT_EQ(written.fileId[15], 7u) << "the identity is read from the writer";
    EXPECT_EQ(errorText, L"untouched");
}

INSTANTIATE_TEST_SUITE_P(Cases, Chunks,
                         ::testing::Values(ChunkCase{0, {}}, ChunkCase{1, {1}}, ChunkCase{1048576, {1048576}},
                                           ChunkCase{1048577, {1048576, 1}},
                                           ChunkCase{3 * 1048576 + 5, {1048576, 1048576, 1048576, 5}}));

TEST_F(StagingFileTest, CreateFailureCarriesTheSystemText) {
    Files().createError = ERROR_ACCESS_DENIED;
    EXPECT_FALSE(Write(10));
    EXPECT_EQ(errorText, kFileNotCreatedPrefix + DescribeWindowsError(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Files().calls, std::vector<std::wstring>{L"create " + kPath});
}

TEST_F(StagingFileTest, FailedWriteClosesWithoutFlushing) {
    Files().failingWrite = 1;
    EXPECT_FALSE(Write(2 * 1048576));
    EXPECT_EQ(errorText, kFileNotWrittenPrefix + DescribeWindowsError(ERROR_DISK_FULL));
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"create " + kPath, L"write", L"write", L"close file"}));
}

TEST_F(StagingFileTest, ShortWriteIsAFailedWrite) {
    Files().shortWrite = 0;
    SetLastError(ERROR_DISK_FULL);
    EXPECT_FALSE(Write(1048577));
    EXPECT_EQ(errorText.rfind(kFileNotWrittenPrefix, 0), 0u);
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"create " + kPath, L"write", L"close file"}));
}

// -- The owner: stage, hold, discard ---------------------------------------

struct StageCase {
    const char* name;
    void (*arrange)(FileScript&);
    std::wstring message;  // empty: staged
    // The handles let go and the paths deleted, in order; "F" stands for
    // the staging folder.
    std::vector<std::wstring> order;
};

class Stage : public StagingFileTest, public ::testing::WithParamInterface<StageCase> {};

const std::wstring kStagingFolder = FolderOfDraw(1);

TEST_P(Stage, HoldsTheWrittenFileOrLeavesNothingBehind) {
    GetParam().arrange(Files());
    bytes.assign(3, 0x42);
    StagedInstaller staged;
    const bool stagedOk = StageInstaller(bytes, staged, errorText);
    EXPECT_EQ(stagedOk, GetParam().message.empty());
    EXPECT_EQ(errorText, stagedOk ? L"untouched" : GetParam().message);
    if (stagedOk) DiscardStagedInstaller(staged);
    std::vector<std::wstring> expected;
    for (std::wstring step : GetParam().order) {
        const std::size_t at = step.find(L" F");
        expected.push_back(at == std::wstring::npos ? step : step.replace(at + 1, 1, kStagingFolder));
    }
    EXPECT_EQ(CallsOf({L"deleted", L"close"}), expected);
    EXPECT_FALSE(staged.file);
    EXPECT_FALSE(staged.folder);
}

// The file goes first, once the hold is let go; then what else is there,
// and the folder, once its hold is let go.

INSTANTIATE_TEST_SUITE_P(
    Cases, Stage,
    ::testing::Values(
        StageCase{"staged_then_discarded", [](FileScript&) {}, L"",
                  {L"close file", L"close hold", L"deleted F\\Velto_Setup.exe", L"close folder", L"deleted F"}},
        StageCase{"what_the_installer_wrote_goes_too",
                  [](FileScript& s) {
                      s.contents[kStagingFolder] = {L"Velto_Setup.exe", L"Temp"};
                      s.contents[kStagingFolder + L"\\Temp"] = {L"unpacked.msi"};
                  },
                  L"",
                  {L"close file", L"close hold", L"deleted F\\Velto_Setup.exe", L"close folder",
                   L"deleted F\\Temp\\unpacked.msi", L"deleted F\\Temp", L"deleted F"}},
        StageCase{"folder_moved_away_nothing_deleted_by_name",
                  [](FileScript& s) { s.finalPaths = {L"", L"C:\\Windows\\Temp.swapped\\VeltoBootstrap"}; }, L"",
                  {L"close file", L"close hold", L"close folder"}},
        StageCase{"hold_refused_deletes_the_complete_file", [](FileScript& s) { s.holdError = ERROR_SHARING_VIOLATION; },
                  kFileNotLockedPrefix + DescribeWindowsError(ERROR_SHARING_VIOLATION),
                  {L"close file", L"deleted F\\Velto_Setup.exe", L"close folder", L"deleted F"}},
        StageCase{"another_file_at_the_path_is_refused", [](FileScript& s) { s.holdIsAnotherFile = true; },
                  kFileNotLockedPrefix + DescribeWindowsError(ERROR_FILE_INVALID),
                  {L"close file", L"close hold", L"deleted F\\Velto_Setup.exe", L"close folder", L"deleted F"}},
        StageCase{"failed_write_deletes_the_partial_file", [](FileScript& s) { s.failingWrite = 0; },
                  kFileNotWrittenPrefix + DescribeWindowsError(ERROR_DISK_FULL),
                  {L"close file", L"deleted F\\Velto_Setup.exe", L"close folder", L"deleted F"}}),
    [](const ::testing::TestParamInfo<StageCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(StagingFileTest, NoFolderNoFileAndNoMessage) {
    Files().windowsFolderResult = 0;
    Files().windowsFolder.clear();
    StagedInstaller staged;
    EXPECT_FALSE(StageInstaller(ByteBuffer{'M', 'Z'}, staged, errorText));
    EXPECT_EQ(errorText, L"untouched") << "the sequence shows its own message";
    EXPECT_TRUE(Files().calls.empty());
}

}  // namespace
