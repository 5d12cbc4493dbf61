// MessageBoxW on a real pseudo-terminal, and without any terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/win_api.h"

namespace {

// Runs MessageBoxW in a child whose controlling terminal is a new
// pseudo-terminal, types input into it, and returns the box's result and
// what the terminal showed.
int BoxOnTerminal(UINT flags, const std::string& input, std::string& shown) {
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) _exit(MessageBoxW(nullptr, L"Velto 2.0 has been downloaded and verified.", L"Velto", flags));
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
