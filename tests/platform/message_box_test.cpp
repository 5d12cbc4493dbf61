// MessageBoxW on a real pseudo-terminal, and without any terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "platform/win_api.h"

namespace {

void KeepOutputAsWritten(int terminal) {
    termios settings {};
    tcgetattr(terminal, &settings);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tcsetattr(terminal, TCSANOW, &settings);
}

constexpr wchar_t kConfirmation[] = L"Velto 2.0 has been downloaded and verified.";

// Runs MessageBoxW in a child whose controlling terminal is a new
// pseudo-terminal, types input into it, and returns the box's result and
// what the terminal showed, byte for byte (no line-ending translation).
int BoxOnTerminal(UINT flags, const std::string& input, std::string& shown, const std::wstring& text = kConfirmation,
                  const std::wstring& caption = L"Velto") {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    // Both sides, before either writes: the box's text and the echo of the
    // input then reach the test unchanged.
    if (child == 0) {
        KeepOutputAsWritten(STDOUT_FILENO);
        _exit(MessageBoxW(nullptr, text.c_str(), caption.c_str(), flags));
    }
    KeepOutputAsWritten(terminal);
    if (write(terminal, input.data(), input.size()) < 0) return -1;
    char buffer[512];
    shown.clear();
    for (ssize_t count; (count = read(terminal, buffer, sizeof(buffer))) > 0;) shown.append(buffer, static_cast<std::size_t>(count));
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct AnswerCase {
    std::string typed;
    int result;
};

class Confirmation : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(Confirmation, OnlyAnOkAnswerConfirms) {
    std::string shown;
    EXPECT_EQ(BoxOnTerminal(MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND, GetParam().typed, shown),
              GetParam().result);
    EXPECT_NE(shown.find("[Velto]"), std::string::npos);
    EXPECT_NE(shown.find("Velto 2.0 has been downloaded and verified."), std::string::npos);
    EXPECT_NE(shown.find("OK or Cancel? [o/c] "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Answers, Confirmation,
                         ::testing::Values(AnswerCase{"o\n", IDOK}, AnswerCase{"OK\n", IDOK}, AnswerCase{" Ok \n", IDOK},
                                           AnswerCase{"c\n", IDCANCEL}, AnswerCase{"yes\n", IDCANCEL},
                                           AnswerCase{"\n", IDCANCEL}, AnswerCase{"\x04", IDCANCEL}));

struct HostileTextCase {
    const char* name;
    std::wstring text;
    std::wstring caption;
    std::string neverShown;  // what would steer the terminal
    std::string shown;       // its escaped form
};

class HostileText : public ::testing::TestWithParam<HostileTextCase> {};

TEST_P(HostileText, ReachesTheTerminalOnlyEscaped) {
    std::string shown;
    EXPECT_EQ(BoxOnTerminal(MB_OKCANCEL, "c\n", shown, GetParam().text, GetParam().caption), IDCANCEL);
    EXPECT_EQ(shown.find(GetParam().neverShown), std::string::npos);
    EXPECT_NE(shown.find(GetParam().shown), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, HostileText,
    ::testing::Values(
        HostileTextCase{"clear_screen", L"Velto \x1b[2J9.9", L"Velto", "\x1b", "Velto <U+001B>[2J9.9"},
        HostileTextCase{"window_title", L"\x1b]0;Velto\a", L"Velto", "\x1b", "<U+001B>]0;Velto<U+0007>"},
        HostileTextCase{"carriage_return", L"2.0\rVelto 9.9", L"Velto", "\r", "2.0<U+000D>Velto 9.9"},
        HostileTextCase{"backspaces", L"2.0\b\b\b9.9", L"Velto", "\b", "2.0<U+0008><U+0008><U+0008>9.9"},
        HostileTextCase{"c1_control_sequence", L"2.0\x9b" L"2J", L"Velto", "\xC2\x9B", "2.0<U+009B>2J"},
        HostileTextCase{"c1_single_shift", L"\x8e" L"2.0", L"Velto", "\xC2\x8E", "<U+008E>2.0"},
        HostileTextCase{"delete", L"2.0\x7f", L"Velto", "\x7f", "2.0<U+007F>"},
        HostileTextCase{"right_to_left_override", L"2.0\x202E" L"exe.txt", L"Velto", "\xE2\x80\xAE", "2.0<U+202E>exe.txt"},
        HostileTextCase{"isolates", L"\x2067" L"2.0\x2069", L"Velto", "\xE2\x81\xA7", "<U+2067>2.0<U+2069>"},
        HostileTextCase{"nul_ends_the_text", std::wstring(L"2.0\0\x1b[2J", 7), L"Velto", "[2J", "\n2.0\n"},
        HostileTextCase{"caption", L"2.0", L"Velto\x1b[2J", "\x1b", "[Velto<U+001B>[2J]"},
        HostileTextCase{"tab_and_line_feed_stay", L"2.0\tbeta\nnext", L"Velto", "<U+", "2.0\tbeta\nnext"}),
    [](const ::testing::TestParamInfo<HostileTextCase>& caseInfo) { return std::string(caseInfo.param.name); });

// In the child: the box's result when the box left the signal's default
// action, the signal mask and the terminal's modes as they were; 100
// otherwise.
int BoxKeepingWhatItFound(UINT flags, int signal) {
    std::signal(signal, SIG_DFL);  // whatever the test was started with
    termios before {};
    tcgetattr(STDIN_FILENO, &before);
    const int result = MessageBoxW(nullptr, kConfirmation, L"Velto", flags);
    struct sigaction after {};
    sigaction(signal, nullptr, &after);
    termios now {};
    tcgetattr(STDIN_FILENO, &now);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    const bool kept = after.sa_handler == SIG_DFL && !sigismember(&mask, signal) &&
                      now.c_lflag == before.c_lflag && now.c_iflag == before.c_iflag;
    return kept ? result : 100;
}

struct SignalCase {
    const char* name;
    UINT flags;
    int signal;
    int result;
};

class SignalAtTheBox : public ::testing::TestWithParam<SignalCase> {};

// The box closes as its window's close button would, and the caller's
// signal handling and terminal are as they were.
TEST_P(SignalAtTheBox, ClosesItAndRestoresWhatItChanged) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        KeepOutputAsWritten(STDOUT_FILENO);
        _exit(BoxKeepingWhatItFound(GetParam().flags, GetParam().signal));
    }
    std::string shown;
    char buffer[512];
    bool signalled = false;
    for (ssize_t count; (count = read(terminal, buffer, sizeof(buffer))) > 0;) {
        shown.append(buffer, static_cast<std::size_t>(count));
        if (!signalled && (shown.find("[o/c] ") != std::string::npos || shown.find("continue. ") != std::string::npos)) {
            kill(child, GetParam().signal);
            signalled = true;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    ASSERT_TRUE(WIFEXITED(status)) << shown;
    EXPECT_EQ(WEXITSTATUS(status), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SignalAtTheBox,
    ::testing::Values(SignalCase{"interrupted_question", MB_OKCANCEL, SIGINT, IDCANCEL},
                      SignalCase{"hung_up_question", MB_OKCANCEL, SIGHUP, IDCANCEL},
                      SignalCase{"interrupted_error", MB_ICONERROR, SIGINT, IDOK},
                      SignalCase{"terminated_error", MB_ICONERROR, SIGTERM, IDOK}),
    [](const ::testing::TestParamInfo<SignalCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST(MessageBox, ErrorBoxWaitsForEnter) {
    std::string shown;
    EXPECT_EQ(BoxOnTerminal(MB_ICONERROR | MB_SETFOREGROUND, "\n", shown), IDOK);
    EXPECT_NE(shown.find("Press Enter to continue."), std::string::npos);
}

TEST(MessageBox, WithoutATerminalNothingIsConfirmed) {
    const pid_t child = fork();
    if (child == 0) {
        setsid();  // no controlling terminal from here on
        const int confirm = MessageBoxW(nullptr, L"question", L"Velto", MB_OKCANCEL);
        const int error = MessageBoxW(nullptr, L"error", L"Velto", MB_ICONERROR);
        _exit(confirm == IDCANCEL && error == IDOK ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
