// The stand-in for the Windows folder, the user's private folder: used only
// when it is a real folder of the current user that nobody else may enter.
// The installer is staged in its Temp folder.
#include <unistd.h>

#include <cstring>

#include "shared/scratch_folder.h"
#include "platform/win_api.h"
#include "app/installer_launch.h"
#include "verify/staged_installer.h"
#include "verify/staging_file.h"

namespace {

using namespace velto::test;

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
    // The staging folders in the Temp folder of the Windows folder.
    std::vector<std::string> StagingFolders() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(perUserFolder + "/Temp")) {
            if (entry.path().filename().string().rfind("VeltoBootstrap-", 0) == 0) found.push_back(entry.path());
        }
        return found;
    }
    std::wstring WindowsFolder() {
        wchar_t buffer[261] = {};
        const UINT length = GetSystemWindowsDirectoryW(buffer, 261);
        return length == 0 || length >= 261 ? std::wstring() : std::wstring(buffer, length);
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
    EXPECT_EQ(WindowsFolder(), Wide(runtime));
}

TEST_F(PrivateTempFolder, SharedRuntimeFolderGivesWayToAPerUserFolder) {
    const std::string runtime = Under("runtime");
    std::filesystem::create_directory(runtime);
    chmod(runtime.c_str(), 0755);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(WindowsFolder(), Wide(perUserFolder));
    EXPECT_EQ(ModeOf(perUserFolder), 0700u);
}

TEST_F(PrivateTempFolder, PerUserFolderIsReusedWhenStillPrivate) {
    EXPECT_EQ(WindowsFolder(), Wide(perUserFolder));
    EXPECT_EQ(WindowsFolder(), Wide(perUserFolder));
}

TEST_F(PrivateTempFolder, FolderOpenToOthersIsRefused) {
    std::filesystem::create_directory(perUserFolder);
    chmod(perUserFolder.c_str(), 0777);
    EXPECT_EQ(WindowsFolder(), L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE folder = nullptr;
    EXPECT_EQ(PrepareStagingPath(folder), L"");
    EXPECT_EQ(folder, INVALID_HANDLE_VALUE);
}

TEST_F(PrivateTempFolder, LinkInPlaceOfTheFolderIsRefused) {
    const std::string elsewhere = Under("elsewhere");
    std::filesystem::create_directory(elsewhere);
    chmod(elsewhere.c_str(), 0700);
    ASSERT_EQ(symlink(elsewhere.c_str(), perUserFolder.c_str()), 0);
    EXPECT_EQ(WindowsFolder(), L"");
}

TEST_F(PrivateTempFolder, FolderOwnedBySomeoneElseIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
    std::filesystem::create_directory(perUserFolder);
    chmod(perUserFolder.c_str(), 0700);
    ASSERT_EQ(chown(perUserFolder.c_str(), 65534, 65534), 0);
    EXPECT_EQ(WindowsFolder(), L"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(PrivateTempFolder, SmallBufferIsToldTheSizeItNeeds) {
    wchar_t buffer[4] = {};
    EXPECT_EQ(GetSystemWindowsDirectoryW(buffer, 4), Wide(perUserFolder).size() + 1);
}

TEST_F(PrivateTempFolder, TempFolderInItIsPrivateToo) {
    ASSERT_EQ(WindowsFolder(), Wide(perUserFolder));
    EXPECT_EQ(ModeOf(perUserFolder + "/Temp"), 0700u);
    wchar_t buffer[MAX_PATH + 1] = {};
    chmod((perUserFolder + "/Temp").c_str(), 0755);
    EXPECT_EQ(GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1), 0u);
}

TEST_F(PrivateTempFolder, StagedFileLandsInAPrivateFolderAndCanBeRewritten) {
    HANDLE folder = INVALID_HANDLE_VALUE;
    const std::wstring path = PrepareStagingPath(folder);
    ASSERT_EQ(StagingFolders().size(), 1u);
    const std::string staging = StagingFolders()[0];
    ASSERT_EQ(path, Wide(staging) + L"\\Velto_Setup.exe");
    EXPECT_EQ(ModeOf(staging), 0700u);
    std::wstring errorText;
    FileIdentity written;
    ASSERT_TRUE(WriteStagingFile(path, ByteBuffer(3 * 1048576 + 7, 0x33), written, errorText));
    ASSERT_TRUE(WriteStagingFile(path, ByteBuffer{'M', 'Z'}, written, errorText));
    EXPECT_EQ(ReadWholeFile(staging + "/Velto_Setup.exe"), "MZ");
    ASSERT_TRUE(WriteStagingFile(path, ByteBuffer{}, written, errorText));
    EXPECT_EQ(ReadWholeFile(staging + "/Velto_Setup.exe"), "");
    EXPECT_EQ(errorText, L"");
    EXPECT_TRUE(CloseHandle(folder));
}

TEST_F(PrivateTempFolder, FolderInTheWayOfTheFileFailsTheWrite) {
    HANDLE folder = INVALID_HANDLE_VALUE;
    const std::wstring path = PrepareStagingPath(folder);
    ASSERT_EQ(StagingFolders().size(), 1u);
    std::filesystem::create_directory(StagingFolders()[0] + "/Velto_Setup.exe");
    std::wstring errorText;
    FileIdentity written;
    EXPECT_FALSE(WriteStagingFile(path, ByteBuffer{'M', 'Z'}, written, errorText));
    EXPECT_EQ(errorText, kFileNotCreatedPrefix + std::wstring(L"Permission denied"));
    EXPECT_TRUE(CloseHandle(folder));
}

// A folder with a staging name is removed only when it is provably a
// killed run's: a real folder of the user's that nobody else may enter,
// which no run holds. Anything else is left as it is.
enum class Leftover { KilledRun, OpenToOthers, LinkToFolder, HeldByARun, OtherUsers };

struct LeftoverCase {
    const char* name;
    Leftover leftover;
};

class StagingLeftover : public PrivateTempFolder, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(StagingLeftover, IsRemovedOnlyWhenItIsAKilledRuns) {
    const Leftover leftover = GetParam().leftover;
    if (leftover == Leftover::OtherUsers && geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
    ASSERT_NE(WindowsFolder(), L"");
    std::string earlier = perUserFolder + "/Temp/VeltoBootstrap-" + std::string(32, 'A');
    std::filesystem::create_directory(Under("elsewhere"));
    WriteWholeFile(Under("elsewhere/kept.dll"), "kept");
    HANDLE run = INVALID_HANDLE_VALUE;
    if (leftover == Leftover::HeldByARun) {
        ASSERT_NE(PrepareStagingPath(run), L"");
        earlier = StagingFolders()[0];
    } else if (leftover == Leftover::LinkToFolder) {
        std::filesystem::create_directory_symlink(Under("elsewhere"), earlier);
    } else {
        std::filesystem::create_directories(earlier + "/Temp");
        WriteWholeFile(earlier + "/Velto_Setup.exe", "MZ");
        chmod(earlier.c_str(), leftover == Leftover::OpenToOthers ? 0755 : 0700);
        ASSERT_TRUE(leftover != Leftover::OtherUsers || chown(earlier.c_str(), 65534, 65534) == 0);
    }
    const std::vector<std::string> before = StagingFolders();

    HANDLE folder = INVALID_HANDLE_VALUE;
    ASSERT_NE(PrepareStagingPath(folder), L"");
    std::vector<std::string> after = StagingFolders();
    EXPECT_EQ(after.size(), before.size() + (leftover == Leftover::KilledRun ? 0 : 1));
    EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(earlier)), leftover != Leftover::KilledRun);
    EXPECT_EQ(ReadWholeFile(Under("elsewhere/kept.dll")), "kept");
    EXPECT_TRUE(CloseHandle(folder));
    EXPECT_TRUE(run == INVALID_HANDLE_VALUE || CloseHandle(run));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StagingLeftover,
    ::testing::Values(LeftoverCase{"killed_runs_folder", Leftover::KilledRun},
                      LeftoverCase{"open_to_others", Leftover::OpenToOthers},
                      LeftoverCase{"link_to_another_folder", Leftover::LinkToFolder},
                      LeftoverCase{"held_by_a_live_run", Leftover::HeldByARun},
                      LeftoverCase{"another_users", Leftover::OtherUsers}),
    [](const ::testing::TestParamInfo<LeftoverCase>& caseInfo) { return std::string(caseInfo.param.name); });

// The staged installer runs only when the file at its path is still the
// one that was staged; a file swapped in by another process never runs.
enum class Swap { None, File, Folder };

struct SwapCase {
    const char* name;
    Swap swap;
};

class StagedLaunch : public PrivateTempFolder, public ::testing::WithParamInterface<SwapCase> {};

TEST_P(StagedLaunch, RunsOnlyTheStagedFile) {
    const std::string script = "#!/bin/sh\nexit 7\n";
    const std::string planted = "#!/bin/sh\necho > '" + Under("planted-ran") + "'\nexit 9\n";
    ByteBuffer bytes;
    bytes.assign(script.begin(), script.end());
    StagedInstaller staged;
    std::wstring errorText;
    ASSERT_TRUE(StageInstaller(bytes, staged, errorText));
    ASSERT_EQ(StagingFolders().size(), 1u);
    const std::string staging = StagingFolders()[0];
    if (GetParam().swap == Swap::File) {
        WriteWholeFile(staging + "/planted", planted);
        chmod((staging + "/planted").c_str(), 0700);
        ASSERT_EQ(rename((staging + "/planted").c_str(), (staging + "/Velto_Setup.exe").c_str()), 0);
    } else if (GetParam().swap == Swap::Folder) {
        ASSERT_EQ(rename(staging.c_str(), (staging + ".moved").c_str()), 0);
        std::filesystem::create_directory(staging);
        WriteWholeFile(staging + "/Velto_Setup.exe", planted);
        chmod((staging + "/Velto_Setup.exe").c_str(), 0700);
    }
    DWORD exitCode = 0;
    const bool started = LaunchInstaller(staged.path, staged.file.get(), exitCode, errorText);
    DiscardStagedInstaller(staged);
    EXPECT_FALSE(std::filesystem::exists(Under("planted-ran")));
    if (GetParam().swap == Swap::None) {
        EXPECT_TRUE(started);
        EXPECT_EQ(exitCode, 7u);
        EXPECT_FALSE(std::filesystem::exists(staging)) << "the folder goes with everything in it";
    } else {
        EXPECT_FALSE(started);
        const std::string text = std::strerror(ESTALE);
        EXPECT_EQ(errorText, kNotStartedPrefix + std::wstring(text.begin(), text.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StagedLaunch,
                         ::testing::Values(SwapCase{"unchanged", Swap::None}, SwapCase{"file_swapped", Swap::File},
                                           SwapCase{"folder_swapped", Swap::Folder}),
                         [](const ::testing::TestParamInfo<SwapCase>& caseInfo) { return std::string(caseInfo.param.name); });

}  // namespace
