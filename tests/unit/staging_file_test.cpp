// The staging path and the chunked write, against scripted file operations.
#include <gtest/gtest.h>

#include "app/windows_error_text.h"
#include "fakes/fake_files.h"
#include "verify/staging_file.h"

namespace {

const std::wstring kPath = L"C:\\Temp\\VeltoBootstrap\\Velto_Setup.exe";

class StagingFileTest : public ::testing::Test {
protected:
    void SetUp() override { ResetFiles(); }
    bool Write(std::size_t size) {
        bytes.assign(size, 0x42);
        return WriteStagingFile(kPath, bytes, errorText);
    }
    ByteBuffer bytes;
    std::wstring errorText = L"untouched";
};

TEST_F(StagingFileTest, PathIsTheTempFolderThenTheFixedNames) {
    EXPECT_EQ(PrepareStagingPath(), L"C:\\Users\\me\\AppData\\Local\\Temp\\VeltoBootstrap\\Velto_Setup.exe");
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{
                                 L"temp 260", L"mkdir C:\\Users\\me\\AppData\\Local\\Temp\\VeltoBootstrap"}));
}

struct TempLengthCase {
    DWORD length;
    bool accepted;
};

class TempLength : public StagingFileTest, public ::testing::WithParamInterface<TempLengthCase> {};

TEST_P(TempLength, AcceptsResultsFrom1To259) {
    Files().tempPath = std::wstring(std::min<DWORD>(GetParam().length, 259), L't');
    Files().tempPathResult = GetParam().length;
    const std::wstring path = PrepareStagingPath();
    EXPECT_EQ(path.empty(), !GetParam().accepted);
    EXPECT_EQ(Files().calls.size(), GetParam().accepted ? 2u : 1u);  // no folder made when refused
}

INSTANTIATE_TEST_SUITE_P(Cases, TempLength,
                         ::testing::Values(TempLengthCase{0, false}, TempLengthCase{1, true},
                                           TempLengthCase{259, true}, TempLengthCase{260, false},
                                           TempLengthCase{261, false}, TempLengthCase{32767, false}));

TEST_F(StagingFileTest, LongComposedPathIsPassedOnUnchecked) {
    Files().tempPath = L"C:\\" + std::wstring(255, L'd') + L"\\";
    EXPECT_EQ(PrepareStagingPath().size(), 259u + 14 + 16);
}

struct ChunkCase {
    std::size_t size;
    std::vector<DWORD> writes;
};

class Chunks : public StagingFileTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(Chunks, WritesAtMostOneMebibytePerCall) {
    ASSERT_TRUE(Write(GetParam().size));
    EXPECT_EQ(Files().writeSizes, GetParam().writes);
    EXPECT_EQ(Files().bytesWritten, GetParam().size);
    EXPECT_EQ(Files().calls.back(), L"close");
    EXPECT_EQ(Files().calls[Files().calls.size() - 2], L"flush");
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
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"create " + kPath, L"write", L"write", L"close"}));
}

TEST_F(StagingFileTest, ShortWriteIsAFailedWrite) {
    Files().shortWrite = 0;
    SetLastError(ERROR_DISK_FULL);
    EXPECT_FALSE(Write(1048577));
    EXPECT_EQ(errorText.rfind(L"Could not write the installer file: ", 0), 0u);
    EXPECT_EQ(Files().calls, (std::vector<std::wstring>{L"create " + kPath, L"write", L"close"}));
}

}  // namespace
