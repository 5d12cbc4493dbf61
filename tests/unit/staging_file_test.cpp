// The staging folder, path, write and hold, and their one owner, against
// scripted file operations.
#include <gtest/gtest.h>

#include "base/windows_error_text.h"
#include "fakes/fake_files.h"
#include "verify/staged_installer.h"
#include "verify/staging_file.h"

namespace {

const std::wstring kTemp = L"C:\\Users\\me\\AppData\\Local\\Temp\\";
const std::wstring kFolder = kTemp + L"VeltoBootstrap";
const std::wstring kPath = L"C:\\Temp\\VeltoBootstrap\\Velto_Setup.exe";
const std::wstring kSecurity = L"descriptor O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)";
const NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);

class StagingFileTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFiles(); }
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

// -- The folder: what stands at its name is taken away, never reused -------

struct FolderCase {
    const char* name;
    std::vector<NTSTATUS> creates;
    bool removes, deletes, moves;
    std::vector<std::wstring> callsAfterDescriptor;  // up to the descriptor's release
    bool made;
};

class StagingFolder : public StagingFileTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(StagingFolder, IsMadeAfreshAndHeldOrRefused) {
    Files().folderCreates = GetParam().creates;
    Files().removeSucceeds = GetParam().removes;
    Files().deleteSucceeds = GetParam().deletes;
    Files().moveSucceeds = GetParam().moves;
    const std::wstring path = Prepare();
    EXPECT_EQ(path, GetParam().made ? kFolder + L"\\Velto_Setup.exe" : L"");
    EXPECT_EQ(folder != INVALID_HANDLE_VALUE, GetParam().made);
    std::vector<std::wstring> expected = {L"temp 260", kSecurity};
    expected.insert(expected.end(), GetParam().callsAfterDescriptor.begin(), GetParam().callsAfterDescriptor.end());
    expected.push_back(L"free descriptor");
    EXPECT_EQ(Files().calls, expected);
}

const std::wstring kMake = L"make folder \\??\\" + kFolder;
const std::wstring kRemove = L"remove folder " + kFolder;
const std::wstring kDelete = L"delete " + kFolder;

INSTANTIATE_TEST_SUITE_P(
    Cases, StagingFolder,
    ::testing::Values(
        FolderCase{"nothing_at_the_name", {}, false, false, false, {kMake}, true},
        // RemoveDirectoryW takes an empty folder, or a junction or link itself.
        FolderCase{"empty_folder_or_link", {kNameCollision}, true, false, false, {kMake, kRemove, kMake}, true},
        FolderCase{"file", {kNameCollision}, false, true, false, {kMake, kRemove, kDelete, kMake}, true},
        FolderCase{"folder_with_entries_is_moved_aside_whole", {kNameCollision}, false, false, true,
                   {kMake, kRemove, kDelete, L"move " + kFolder + L" to " + kFolder + L".replaced-4242-1", kMake},
                   true},
        FolderCase{"nothing_can_clear_the_name", {kNameCollision}, false, false, false,
                   {kMake, kRemove, kDelete, L"move " + kFolder + L" to " + kFolder + L".replaced-4242-1"}, false},
        FolderCase{"the_name_keeps_being_taken", {kNameCollision, kNameCollision, kNameCollision}, true, false, false,
                   {kMake, kRemove, kMake, kRemove, kMake}, false}),
    [](const ::testing::TestParamInfo<FolderCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(StagingFileTest, NoDescriptorNoFolder) {
    Files().descriptorFails = true;
    EXPECT_EQ(Prepare(), L"");
    EXPECT_EQ(folder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"temp 260", kSecurity}));
}

struct NtPathCase {
    std::wstring temp;
    std::wstring made;
};

class NtPath : public StagingFileTest, public ::testing::WithParamInterface<NtPathCase> {};

TEST_P(NtPath, IsTheNativeFormOfTheTemporaryFolder) {
    Files().tempPath = GetParam().temp;
    Prepare();
    ASSERT_GE(Files().calls.size(), 3u);
    EXPECT_EQ(Files().calls[2], L"make folder " + GetParam().made);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NtPath,
    ::testing::Values(NtPathCase{L"C:\\Temp\\", L"\\??\\C:\\Temp\\VeltoBootstrap"},
                      NtPathCase{L"\\\\?\\D:\\T\\", L"\\??\\D:\\T\\VeltoBootstrap"},
                      NtPathCase{L"\\\\server\\share\\t\\", L"\\??\\UNC\\server\\share\\t\\VeltoBootstrap"}));

struct TempLengthCase {
    DWORD length;
    bool accepted;
};

class TempLength : public StagingFileTest, public ::testing::WithParamInterface<TempLengthCase> {};

TEST_P(TempLength, AcceptsResultsFrom1To259) {
    Files().tempPath = std::wstring(std::min<DWORD>(GetParam().length, 259), L't');
    Files().tempPathResult = GetParam().length;
    const std::wstring path = Prepare();
    EXPECT_EQ(path.empty(), !GetParam().accepted);
    EXPECT_EQ(Files().calls.size(), GetParam().accepted ? 4u : 1u);  // no folder made when refused
}

INSTANTIATE_TEST_SUITE_P(Cases, TempLength,
                         ::testing::Values(TempLengthCase{0, false}, TempLengthCase{1, true},
                                           TempLengthCase{259, true}, TempLengthCase{260, false},
                                           TempLengthCase{261, false}, TempLengthCase{32767, false}));

TEST_F(StagingFileTest, LongComposedPathIsPassedOnUnchecked) {
    Files().tempPath = L"C:\\" + std::wstring(255, L'd') + L"\\";
    EXPECT_EQ(Prepare().size(), 259u + 14 + 16);
}

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
    EXPECT_EQ(written.fileIndexLow, 7u) << "the identity is read from the writer";
    EXPECT_EQ(errorText, L"untouched");
}

INSTANTIATE_TEST_SUITE_P(Cases, Chunks,
                         ::testing::Values(ChunkCase{0, {}}, ChunkCase{1, {1}}, ChunkCase{1048576, {1048576}},
                                           ChunkCase{1048577, {1048576, 1}},
                                           ChunkCase{3 * 1048576 + 5, {1048576, 1048576, 1048576, 5}}));

TEST_F(StagingFileTest, CreateFailureCarriesTheSystemText) {
    Files().createError = ERROR_ACCESS_DENIED;
    EXPECT_FALSE(Write(10));
    EXPECT_EQ(errorText, L"Could not create the installer file: " + DescribeWindowsError(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Files().calls, std::vector<std::wstring>{L"create " + kPath});
}

TEST_F(StagingFileTest, FailedWriteClosesWithoutFlushing) {
    Files().failingWrite = 1;
    EXPECT_FALSE(Write(2 * 1048576));
    EXPECT_EQ(errorText, L"Could not write the installer file: " + DescribeWindowsError(ERROR_DISK_FULL));
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"create " + kPath, L"write", L"write", L"close file"}));
}

TEST_F(StagingFileTest, ShortWriteIsAFailedWrite) {
    Files().shortWrite = 0;
    SetLastError(ERROR_DISK_FULL);
    EXPECT_FALSE(Write(1048577));
    EXPECT_EQ(errorText.rfind(L"Could not write the installer file: ", 0), 0u);
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"create " + kPath, L"write", L"close file"}));
}

// -- The owner: stage, hold, discard ---------------------------------------

struct StageCase {
    const char* name;
    void (*arrange)(FileScript&);
    std::wstring message;  // empty: staged
    std::vector<std::wstring> tail;  // the calls after the folder was made
};

class Stage : public StagingFileTest, public ::testing::WithParamInterface<StageCase> {};

const std::wstring kStaged = kFolder + L"\\Velto_Setup.exe";

TEST_P(Stage, HoldsTheWrittenFileOrLeavesNothingBehind) {
    GetParam().arrange(Files());
    bytes.assign(3, 0x42);
    StagedInstaller staged;
    const bool stagedOk = StageInstaller(bytes, staged, errorText);
    EXPECT_EQ(stagedOk, GetParam().message.empty());
    EXPECT_EQ(errorText, stagedOk ? L"untouched" : GetParam().message);
    if (stagedOk) DiscardStagedInstaller(staged);
    const std::vector<std::wstring> head = {L"temp 260", kSecurity, kMake, L"free descriptor"};
    std::vector<std::wstring> expected = head;
    expected.insert(expected.end(), GetParam().tail.begin(), GetParam().tail.end());
    EXPECT_EQ(Files().calls, expected);
    EXPECT_EQ(staged.file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(staged.folder, INVALID_HANDLE_VALUE);
}

const std::vector<std::wstring> kWritten = {L"create " + kStaged, L"write", L"flush file", L"close file",
                                            L"hold " + kStaged};
std::vector<std::wstring> WrittenThen(std::initializer_list<std::wstring> tail) {
    std::vector<std::wstring> calls = kWritten;
    calls.insert(calls.end(), tail);
    return calls;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Stage,
    ::testing::Values(
        // The file is let go first, deleted while the folder is still held,
        // then the folder is let go.
        StageCase{"staged_then_discarded", [](FileScript&) {}, L"",
                  WrittenThen({L"close hold", L"delete " + kStaged, L"close folder"})},
        StageCase{"hold_refused_deletes_the_complete_file", [](FileScript& s) { s.holdError = ERROR_SHARING_VIOLATION; },
                  L"Could not lock the installer file: " + DescribeWindowsError(ERROR_SHARING_VIOLATION),
                  WrittenThen({L"delete " + kStaged, L"close folder"})},
        StageCase{"another_file_at_the_path_is_refused", [](FileScript& s) { s.holdIsAnotherFile = true; },
                  L"Could not lock the installer file: " + DescribeWindowsError(ERROR_FILE_INVALID),
                  WrittenThen({L"close hold", L"delete " + kStaged, L"close folder"})},
        StageCase{"failed_write_deletes_the_partial_file", [](FileScript& s) { s.failingWrite = 0; },
                  L"Could not write the installer file: " + DescribeWindowsError(ERROR_DISK_FULL),
                  {L"create " + kStaged, L"write", L"close file", L"delete " + kStaged, L"close folder"}}),
    [](const ::testing::TestParamInfo<StageCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(StagingFileTest, NoFolderNoFileAndNoMessage) {
    Files().descriptorFails = true;
    StagedInstaller staged;
    EXPECT_FALSE(StageInstaller(ByteBuffer{'M', 'Z'}, staged, errorText));
    EXPECT_EQ(errorText, L"untouched") << "the sequence shows its own message";
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"temp 260", kSecurity}));
}

}  // namespace
