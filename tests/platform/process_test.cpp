// Starting real programs through the layer: exit codes, the command line
// the program receives, and the texts of failed starts.
#include <cstring>

#include "app/installer_launch.h"
#include "platform/linux/command_line.h"
#include "platform/linux/handle_table.h"
#include "platform/scratch_folder.h"
#include "platform/win_api.h"

namespace {

class Launch : public ScratchFolderTest {
protected:
    std::string Script(const std::string& name, const std::string& body, unsigned mode = 0700) {
        const std::string path = Under(name);
        WriteText(path, body);
        chmod(path.c_str(), mode);
        return path;
    }
    std::wstring errorText;
};

class ExitCode : public Launch, public ::testing::WithParamInterface<int> {};

TEST_P(ExitCode, IsReturnedUnchanged) {
    const std::size_t handles = velto::platform::OpenHandleCount();
    const std::string path = Script("setup", "#!/bin/sh\nexit " + std::to_string(GetParam()) + "\n");
    EXPECT_EQ(LaunchInstaller(Wide(path), errorText), GetParam());
    EXPECT_EQ(errorText, L"");
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
}

INSTANTIATE_TEST_SUITE_P(Codes, ExitCode, ::testing::Values(0, 3, 42, 255));

TEST_F(Launch, ProgramReceivesItsPathAsItsOnlyWord) {
    std::filesystem::create_directory(Under("Program Files"));
    const std::string output = Under("words");
    const std::string path = Script("Program Files/Velto Setup", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$0\" > '" + output + "'\n");
    ASSERT_EQ(LaunchInstaller(Wide(path), errorText), 0);
    EXPECT_EQ(ReadText(output), "0|" + path);
}

TEST_F(Launch, KilledProgramReportsItsSignal) {
    const std::string path = Script("setup", "#!/bin/sh\nkill -TERM $$\n");
    EXPECT_EQ(LaunchInstaller(Wide(path), errorText), 128 + 15);
}

struct StartFailureCase {
    const char* name;
    std::string body;  // empty: no file at all
    unsigned mode;
    int errnum;
};

class StartFailure : public Launch, public ::testing::WithParamInterface<StartFailureCase> {};

TEST_P(StartFailure, ReturnsMinusOneWithTheSystemText) {
    std::string path = Under("setup");
    if (!GetParam().body.empty()) path = Script("setup", GetParam().body, GetParam().mode);
    const std::size_t handles = velto::platform::OpenHandleCount();
    errorText = L"earlier";
    EXPECT_EQ(LaunchInstaller(Wide(path), errorText), -1);
    const std::string text = std::strerror(GetParam().errnum);
    EXPECT_EQ(errorText, L"Could not start Velto Setup: " + std::wstring(text.begin(), text.end()));
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartFailure,
    ::testing::Values(StartFailureCase{"missing", "", 0, ENOENT},
                      StartFailureCase{"not_executable", "#!/bin/sh\nexit 0\n", 0600, EACCES},
                      StartFailureCase{"no_program_format", "just some text\n", 0700, ENOEXEC}),
    [](const ::testing::TestParamInfo<StartFailureCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(Launch, WaitWithATimeLimitTimesOutOnARunningProgram) {
    const std::string path = Script("sleeper", "#!/bin/sh\nsleep 0.3\nexit 7\n");
    std::wstring commandLine = L"\"" + Wide(path) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(Wide(path).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(WaitForSingleObject(process.hThread, 0), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
}

struct SplitCase {
    std::wstring commandLine;
    std::vector<std::wstring> words;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, FollowsTheWindowsRules) {
    EXPECT_EQ(velto::platform::SplitCommandLine(GetParam().commandLine), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    ::testing::Values(SplitCase{L"\"C:\\Program Files\\Velto\\Velto_Setup.exe\"", {L"C:\\Program Files\\Velto\\Velto_Setup.exe"}},
                      SplitCase{L"C:\\dir\\a.exe", {L"C:\\dir\\a.exe"}},
                      SplitCase{L"\"C:\\dir\\\" b", {L"C:\\dir\\", L"b"}},
                      SplitCase{L"a.exe  one\t two ", {L"a.exe", L"one", L"two"}},
                      SplitCase{L"a \"x y\" z", {L"a", L"x y", L"z"}},
                      SplitCase{L"a \\\\\"x y\"", {L"a", L"\\x y"}},
                      SplitCase{L"a \\\"x", {L"a", L"\"x"}},
                      SplitCase{L"a \\\\\\\"x", {L"a", L"\\\"x"}},
                      SplitCase{L"a b\\c\\\\d", {L"a", L"b\\c\\\\d"}},
                      SplitCase{L"a \"x\"\"y\"", {L"a", L"x\"y"}},
                      SplitCase{L"a \"\"", {L"a", L""}},
                      SplitCase{L"", {L""}}));

}  // namespace
