// Starting real programs through the layer: exit codes, the command line
// the program receives, and the texts of failed starts.
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "platform/held_launch.h"
#include "platform/linux/kernel32/command_line.h"
#include "platform/linux/support/handle_table.h"
#include "shared/scratch_folder.h"
#include "platform/win_api.h"

namespace {

using namespace velto::test;

class Launch : public ScratchFolderTest {
protected:
    std::string Script(const std::string& name, const std::string& body, unsigned mode = 0700) {
        const std::string path = Under(name);
        WriteWholeFile(path, body);
        chmod(path.c_str(), mode);
        return path;
    }
    // Starts program with its quoted path as its command line.
    static bool Start(const std::wstring& program, DWORD flags, PROCESS_INFORMATION& process) {
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        process = {};
        return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                              &startup, &process) != FALSE;
    }
    // Runs the program as LaunchInstaller does, with signal sent to this
    // process after the program is created and before it is resumed: its
    // exit code, or -1.
    static int SignalBeforeResuming(const std::string& path, int signal) {
        PROCESS_INFORMATION process = {};
        if (!Start(Wide(path), CREATE_SUSPENDED, process)) return -1;
        kill(getpid(), signal);
        DWORD code = 0;
        const bool ended = ResumeThread(process.hThread) == 1 &&
                           WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                           GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return ended ? static_cast<int>(code) : -1;
    }
    std::wstring errorText;
};

// How the signals that the layer holds while a program runs are disposed
// of, and whether each is blocked: once the program is done with, as before.
using SignalState = std::vector<std::pair<void (*)(int), bool>>;

SignalState CurrentSignalState() {
    sigset_t blocked;
    pthread_sigmask(SIG_BLOCK, nullptr, &blocked);
    SignalState state;
    for (const int number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        struct sigaction action {};
        sigaction(number, nullptr, &action);
        state.emplace_back(action.sa_handler, sigismember(&blocked, number) == 1);
    }
    return state;
}

class ExitCode : public Launch, public ::testing::WithParamInterface<int> {};

TEST_P(ExitCode, IsReturnedUnchanged) {
    const std::size_t handles = velto::platform::OpenHandleCount();
    const std::string path = Script("setup", "#!/bin/sh\nexit " + std::to_string(GetParam()) + "\n");
    EXPECT_EQ(LaunchHeld(Wide(path), errorText), GetParam());
    EXPECT_EQ(errorText, L"");
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
}

INSTANTIATE_TEST_SUITE_P(Codes, ExitCode, ::testing::Values(0, 3, 42, 255));

TEST_F(Launch, ProgramReceivesItsPathAsItsOnlyWord) {
    std::filesystem::create_directory(Under("Program Files"));
    const std::string output = Under("words");
    const std::string path = Script("Program Files/Velto Setup", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$0\" > '" + output + "'\n");
    ASSERT_EQ(LaunchHeld(Wide(path), errorText), 0);
    EXPECT_EQ(ReadWholeFile(output), "0|" + path);
}

// It starts in its own folder, with TEMP and TMP in a new folder there and
// without what would make a runtime load a library of the user's choice.
TEST_F(Launch, ProgramRunsInItsFolderWithItsOwnTemporaryFolder) {
    setenv("COR_PROFILER", "{user}", 1);
    setenv("DOTNET_STARTUP_HOOKS", "/home/user/hook.dll", 1);
    const std::string output = Under("environment");
    const std::string path = Script("setup", "#!/bin/sh\nprintf '%s|%s|%s|%s|%s' \"$PWD\" \"$TEMP\" \"$TMP\" "
                                             "\"${COR_PROFILER-unset}\" \"${DOTNET_STARTUP_HOOKS-unset}\" > '" +
                                                 output + "'\n");
    const int exitCode = LaunchHeld(Wide(path), errorText);
    unsetenv("COR_PROFILER");
    unsetenv("DOTNET_STARTUP_HOOKS");
    ASSERT_EQ(exitCode, 0);
    std::string temp = root + "/Temp";  // as Windows text: the path's separators are backslashes
    std::replace(temp.begin(), temp.end(), '/', '\\');
    EXPECT_EQ(ReadWholeFile(output), root + "|" + temp + "|" + temp + "|unset|unset");
    EXPECT_EQ(ModeOf(root + "/Temp"), 0700u);
}

// With SIGCHLD ignored the system reaps the program itself, and its exit
// code is gone: the launch must not report the 0 it never read.
TEST_F(Launch, ProgramWhoseEndCannotBeLearnedIsNoSuccess) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGCHLD, &ignore, &previous);
    const std::string path = Script("setup", "#!/bin/sh\nexit 0\n");
    const int result = LaunchHeld(Wide(path), errorText);
    sigaction(SIGCHLD, &previous, nullptr);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(errorText.rfind(L"Velto Setup ran, but Velto could not learn how it ended: ", 0), 0u);
}

TEST_F(Launch, KilledProgramReportsItsSignal) {
    const std::string path = Script("setup", "#!/bin/sh\nkill -TERM $$\n");
    EXPECT_EQ(LaunchHeld(Wide(path), errorText), 128 + 15);
}

struct SignalWhileWaitingCase {
    const char* name;
    int signal;
    // Who sends it: the program, to its waiter ("$PPID") or to itself
    // ("$$"); empty: this process, between creating the program suspended
    // and resuming it.
    const char* sender;
    const char* waitSeconds;  // how long the program waits to be signalled
    int exitCode;
};

class SignalWhileWaiting : public Launch, public ::testing::WithParamInterface<SignalWhileWaitingCase> {};

// The program signals the process that waits for it, as a person or a
// service manager would: a hang-up or a termination request is passed on
// to the program (7), an interrupt or a quit is the program's own affair
// (5; 9 if it was passed on anyway). The waiter lives on either way. One
// that comes before the program runs is held for it; the program itself
// starts with the signals as the waiter found them (an interrupt it sends
// itself is its own: 9).
TEST_P(SignalWhileWaiting, ReachesTheProgramOnlyWhenPassedOn) {
    const SignalWhileWaitingCase& row = GetParam();
    const SignalState before = CurrentSignalState();
    if (*row.sender != '\0') {
        const std::string path =
            Script("setup", std::string("#!/bin/sh\ntrap 'exit 9' INT QUIT\ntrap 'kill $! 2>/dev/null; exit 7' TERM HUP\n") +
                                "kill -" + std::to_string(row.signal) + " " + row.sender + "\nsleep " +
                                row.waitSeconds + " </dev/null >/dev/null 2>&1 &\nwait\nexit 5\n");
        EXPECT_EQ(LaunchHeld(Wide(path), errorText), row.exitCode);
    } else {
        // No trap: a signal passed on as the program starts could come before it.
        const std::string path = Script("setup", std::string("#!/bin/sh\nexec sleep ") + row.waitSeconds + "\n");
        // The second time as the first: nothing of the first hold is left over.
        for (int round = 1; round <= 2; ++round) EXPECT_EQ(SignalBeforeResuming(path, row.signal), row.exitCode) << round;
    }
    EXPECT_EQ(CurrentSignalState(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SignalWhileWaiting,
    ::testing::Values(SignalWhileWaitingCase{"termination_request", SIGTERM, "$PPID", "10", 7},
                      SignalWhileWaitingCase{"hang_up", SIGHUP, "$PPID", "10", 7},
                      SignalWhileWaitingCase{"interrupt", SIGINT, "$PPID", "0.3", 5},
                      SignalWhileWaitingCase{"quit", SIGQUIT, "$PPID", "0.3", 5},
                      SignalWhileWaitingCase{"interrupt_from_the_program_itself", SIGINT, "$$", "0.3", 9},
                      SignalWhileWaitingCase{"termination_request_before_resuming", SIGTERM, "", "10", 128 + 15},
                      SignalWhileWaitingCase{"hang_up_before_resuming", SIGHUP, "", "10", 128 + 1},
                      SignalWhileWaitingCase{"interrupt_before_resuming", SIGINT, "", "0.3", 0},
                      SignalWhileWaitingCase{"quit_before_resuming", SIGQUIT, "", "0.3", 0}),
    [](const ::testing::TestParamInfo<SignalWhileWaitingCase>& caseInfo) { return std::string(caseInfo.param.name); });

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
    const SignalState signals = CurrentSignalState();
    errorText = L"earlier";
    EXPECT_EQ(LaunchHeld(Wide(path), errorText), -1);
    const std::string text = std::strerror(GetParam().errnum);
    EXPECT_EQ(errorText, kNotStartedPrefix + std::wstring(text.begin(), text.end()));
    PROCESS_INFORMATION process = {};
    EXPECT_FALSE(Start(Wide(path), 0, process));  // run at once: CreateProcessW itself fails
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
    EXPECT_EQ(CurrentSignalState(), signals);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartFailure,
    ::testing::Values(StartFailureCase{"missing", "", 0, ENOENT},
                      StartFailureCase{"not_executable", "#!/bin/sh\nexit 0\n", 0600, EACCES},
                      StartFailureCase{"no_program_format", "just some text\n", 0700, ENOEXEC}),
    [](const ::testing::TestParamInfo<StartFailureCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST_F(Launch, WaitWithATimeLimitTimesOutOnARunningProgram) {
    const std::string path = Script("sleeper", "#!/bin/sh\nsleep 0.3\nexit 7\n");
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(Start(Wide(path), 0, process));
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

std::size_t OpenDescriptorCount() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                  std::filesystem::directory_iterator()));
}

// A process created suspended runs nothing of its program until it is
// resumed; whatever happens next, nothing of it is left behind.
enum class Then { Resume, Terminate, CloseUnresumed };

struct SuspendedCase {
    const char* name;
    bool runnable;
    Then then;
    DWORD resumed;  // what ResumeThread returns
    DWORD error;
    DWORD exitCode;
};

class Suspended : public Launch, public ::testing::WithParamInterface<SuspendedCase> {};

TEST_P(Suspended, RunsNothingUntilResumed) {
    const SuspendedCase& row = GetParam();
    const std::string marker = Under("ran");
    const std::string path =
        Script("setup", row.runnable ? "#!/bin/sh\necho > '" + marker + "'\nexit 5\n" : "not a program\n");
    const std::size_t handles = velto::platform::OpenHandleCount();
    const std::size_t descriptors = OpenDescriptorCount();
    const SignalState signals = CurrentSignalState();
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(Start(Wide(path), CREATE_SUSPENDED, process));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(std::filesystem::exists(marker));
    DWORD code = 0;
    if (row.then == Then::Resume) {
        EXPECT_EQ(ResumeThread(process.hThread), row.resumed);
        if (row.resumed == static_cast<DWORD>(-1)) {
            EXPECT_EQ(GetLastError(), row.error);
        }
        EXPECT_EQ(ResumeThread(process.hThread), 0u);
    } else if (row.then == Then::Terminate) {
        EXPECT_TRUE(TerminateProcess(process.hProcess, row.exitCode));
    }
    if (row.then != Then::CloseUnresumed) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, INFINITE), WAIT_OBJECT_0);
        EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &code));
        EXPECT_EQ(code, row.exitCode);
        EXPECT_FALSE(TerminateProcess(process.hProcess, 1));
    }
    EXPECT_TRUE(CloseHandle(process.hThread));
    EXPECT_TRUE(CloseHandle(process.hProcess));
    EXPECT_EQ(std::filesystem::exists(marker), row.exitCode == 5);
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(CurrentSignalState(), signals);
    EXPECT_EQ(waitpid(static_cast<pid_t>(process.dwProcessId), nullptr, WNOHANG), -1);  // reaped: no zombie
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Suspended,
    ::testing::Values(SuspendedCase{"resumed", true, Then::Resume, 1, ERROR_SUCCESS, 5},
                      SuspendedCase{"terminated", true, Then::Terminate, 0, ERROR_SUCCESS, 0xC0000022},
                      SuspendedCase{"let_go_unresumed", true, Then::CloseUnresumed, 0, ERROR_SUCCESS, 0},
                      SuspendedCase{"not_a_program", false, Then::Resume, static_cast<DWORD>(-1), ERROR_BAD_EXE_FORMAT,
                                    127}),
    [](const ::testing::TestParamInfo<SuspendedCase>& caseInfo) { return std::string(caseInfo.param.name); });

// The staged launches (temp_path_test.cpp) check that the name leads to
// the program's file; here, its form and the buffer's rules.
TEST_F(Launch, ImageNameIsTheFullPathOfTheProgram) {
    const std::string path = Script("setup", "#!/bin/sh\nexit 0\n");
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(Start(Wide(std::filesystem::relative(path).string()), CREATE_SUSPENDED, process));
    wchar_t name[4096] = {};
    DWORD size = 4096;
    EXPECT_FALSE(QueryFullProcessImageNameW(process.hProcess, 1, name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    ASSERT_TRUE(QueryFullProcessImageNameW(process.hProcess, 0, name, &size));
    // Resolved against the current folder, as Windows resolves it.
    std::string linuxName;
    for (const wchar_t* c = name; *c != L'\0'; ++c) linuxName.push_back(*c == L'\\' ? '/' : static_cast<char>(*c));
    EXPECT_EQ(linuxName.size(), size);
    EXPECT_EQ(std::filesystem::canonical(linuxName), std::filesystem::canonical(path));
    DWORD tooSmall = size;
    EXPECT_FALSE(QueryFullProcessImageNameW(process.hProcess, 0, name, &tooSmall));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(TerminateProcess(process.hProcess, 0));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

TEST_F(Launch, ProcessLetGoOfWhileRunningIsReapedOnceEnded) {
    const std::string path = Script("short", "#!/bin/sh\nsleep 0.1\n");
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(Start(Wide(path), 0, process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(LaunchHeld(Wide(Script("next", "#!/bin/sh\nexit 0\n")), errorText), 0);
    EXPECT_EQ(waitpid(static_cast<pid_t>(process.dwProcessId), nullptr, WNOHANG), -1);
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
