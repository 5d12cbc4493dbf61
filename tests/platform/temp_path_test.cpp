// The private temporary folder: used only when it is a real folder of the
// current user that nobody else may enter.
#include <unistd.h>

#include "platform/scratch_folder.h"
#include "platform/win_api.h"
#include "verify/staging_file.h"

namespace {

class PrivateTempFolder : public ScratchFolderTest {
protected:
    void SetUp() override {
        ScratchFolderTest::SetUp();
        SaveVariable("XDG_RUNTIME_DIR", savedRuntimeDir);
        SaveVariable("TMPDIR", savedTmpDir);
        unsetenv("XDG_RUNTIME_DIR");
        setenv("TMPDIR", root.c_str(), 1);
        perUserFolder = root + "/velto-" + std::to_string(geteuid());
    }
    void TearDown() override {
        RestoreVariable("XDG_RUNTIME_DIR", savedRuntimeDir);
        RestoreVariable("TMPDIR", savedTmpDir);
        ScratchFolderTest::TearDown();
    }
    static void SaveVariable(const char* name, std::pair<bool, std::string>& saved) {
        const char* value = std::getenv(name);
        saved = {value != nullptr, value != nullptr ? value : ""};
    }
    static void RestoreVariable(const char* name, const std::pair<bool, std::string>& saved) {
        if (saved.first) {
            setenv(name, saved.second.c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    std::wstring TempPath() {
        wchar_t buffer[261] = {};
        const DWORD length = GetTempPathW(260, buffer);
        return length == 0 || length >= 260 ? std::wstring() : std::wstring(buffer, length);
    }
    std::pair<bool, std::string> savedRuntimeDir;
    std::pair<bool, std::string> savedTmpDir;
    std::string perUserFolder;
};

TEST_F(PrivateTempFolder, PrivateRuntimeFolderIsUsedAsIs) {
    const std::string runtime = Under("runtime");
    std::filesystem::create_directory(runtime);
    chmod(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(TempPath(), Wide(runtime) + L"\\");
}

TEST_F(PrivateTempFolder, SharedRuntimeFolderGivesWayToAPerUserFolder) {
    const std::string runtime = Under("runtime");
    std::filesystem::create_directory(runtime);
    chmod(runtime.c_str(), 0755);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(TempPath(), Wide(perUserFolder) + L"\\");
    EXPECT_EQ(ModeOf(perUserFolder), 0700u);
}

TEST_F(PrivateTempFolder, PerUserFolderIsReusedWhenStillPrivate) {
    EXPECT_EQ(TempPath(), Wide(perUserFolder) + L"\\");
    EXPECT_EQ(TempPath(), Wide(perUserFolder) + L"\\");
}

TEST_F(PrivateTempFolder, FolderOpenToOthersIsRefused) {
    std::filesystem::create_directory(perUserFolder);
    chmod(perUserFolder.c_str(), 0777);
    EXPECT_EQ(TempPath(), L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(PrepareStagingPath(), L"");
}

TEST_F(PrivateTempFolder, LinkInPlaceOfTheFolderIsRefused) {
    const std::string elsewhere = Under("elsewhere");
    std::filesystem::create_directory(elsewhere);
    chmod(elsewhere.c_str(), 0700);
    ASSERT_EQ(symlink(elsewhere.c_str(), perUserFolder.c_str()), 0);
    EXPECT_EQ(TempPath(), L"");
}

TEST_F(PrivateTempFolder, FolderOwnedBySomeoneElseIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    std::filesystem::create_directory(perUserFolder);
    chmod(perUserFolder.c_str(), 0700);
    ASSERT_EQ(chown(perUserFolder.c_str(), 65534, 65534), 0);
    EXPECT_EQ(TempPath(), L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(PrivateTempFolder, SmallBufferIsToldTheSizeItNeeds) {
    const std::wstring expected = Wide(perUserFolder) + L"\\";
    wchar_t buffer[4] = {};
    EXPECT_EQ(GetTempPathW(4, buffer), expected.size() + 1);
}

TEST_F(PrivateTempFolder, StagedFileLandsInAPrivateFolderAndCanBeRewritten) {
    const std::wstring path = PrepareStagingPath();
    ASSERT_EQ(path, Wide(perUserFolder) + L"\\VeltoBootstrap\\Velto_Setup.exe");
    EXPECT_EQ(ModeOf(perUserFolder + "/VeltoBootstrap"), 0700u);
    std::wstring errorText;
    ASSERT_TRUE(WriteStagingFile(path, ByteBuffer(3 * 1048576 + 7, 0x33), errorText));
    ASSERT_TRUE(WriteStagingFile(path, ByteBuffer{'M', 'Z'}, errorText));
    EXPECT_EQ(ReadText(perUserFolder + "/VeltoBootstrap/Velto_Setup.exe"), "MZ");
    ASSERT_TRUE(WriteStagingFile(path, ByteBuffer{}, errorText));
    EXPECT_EQ(ReadText(perUserFolder + "/VeltoBootstrap/Velto_Setup.exe"), "");
    EXPECT_EQ(errorText, L"");
}

TEST_F(PrivateTempFolder, FolderInTheWayOfTheFileFailsTheWrite) {
    const std::wstring path = PrepareStagingPath();
    std::filesystem::create_directory(perUserFolder + "/VeltoBootstrap/Velto_Setup.exe");
    std::wstring errorText;
    EXPECT_FALSE(WriteStagingFile(path, ByteBuffer{'M', 'Z'}, errorText));
    EXPECT_EQ(errorText, L"Could not create the installer file: Permission denied");
}

}  // namespace
