// MessageBoxW on the controlling terminal. Without a terminal nobody can
// answer, so a question is answered with Cancel: nothing is started
// without a person's consent. An interrupt (Ctrl-C), a hang-up or a
// termination request while the box waits closes it, as closing the
// window does on Windows: a question is cancelled, an error acknowledged.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>

#include "platform/linux/support/ascii_case.h"
#include "platform/linux/support/held_signals.h"
#include "platform/linux/support/posix_io.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/user32.h"

namespace {

bool WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    return velto::platform::WriteFully(fd, text.data(), text.size(), written);
}

// One line of input, without its line feed; false at the end of input
// or when a caught signal ended the wait.
bool ReadLine(int fd, const velto::platform::HeldSignals& held, std::string& line) {
    line.clear();
    for (;;) {
        velto::platform::WaitForEvent(held, fd, nullptr);
        if (velto::platform::CaughtSignal() != 0) return false;
        char c = 0;
        const ssize_t count = read(fd, &c, 1);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return !line.empty();
        if (c == '\n') return true;
        line.push_back(c);
    }
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool IsOkAnswer(const std::string& answer) {
    const std::string trimmed = Trimmed(answer);
    const std::string_view text(trimmed);
    return velto::platform::EqualsAsciiLower(text, "o") || velto::platform::EqualsAsciiLower(text, "ok");
}

// Characters that could steer the terminal or reorder what it shows: C0
// controls but line feed and tab, DEL, C1 controls (U+009B alone starts a
// control sequence on many terminals), and the bidirectional formatting
// controls. A text from a manifest must not be able to rewrite the
// question it appears in.
bool IsUnsafeForTerminal(wchar_t c) {
    if (c == L'\n' || c == L'\t') return false;
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The text as it may be shown: every unsafe character as "<U+XXXX>".
std::string Displayable(LPCWSTR text) {
    std::wstring shown;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
        if (!IsUnsafeForTerminal(*c)) {
            shown.push_back(*c);
            continue;
        }
        wchar_t escaped[9] = {};
        std::swprintf(escaped, 9, L"<U+%04X>", static_cast<unsigned>(*c));
        shown += escaped;
    }
    return velto::platform::Utf16ToUtf8Lossy(shown);
}

std::string BoxText(LPCWSTR caption, LPCWSTR text) {
    return "\n[" + Displayable(caption != nullptr ? caption : L"Error") + "]\n" +
           Displayable(text != nullptr ? text : L"") + "\n";
}

int AskOnTerminal(int tty, const std::string& box, bool question) {
    velto::platform::HeldSignals held;
    velto::platform::HoldSignals({SIGINT, SIGHUP, SIGTERM}, {}, held);
    WriteAll(tty, box + (question ? "OK or Cancel? [o/c] " : "Press Enter to continue. "));
    std::string answer;
    const bool answered = ReadLine(tty, held, answer);
    velto::platform::ReleaseSignals(held);
    const bool interrupted = velto::platform::TakeCaughtSignal() != 0;
    if (interrupted) WriteAll(tty, "\n");  // what follows starts on a line of its own
    if (!question) return IDOK;
    return answered && !interrupted && IsOkAnswer(answer) ? IDOK : IDCANCEL;
}

}  // namespace

extern "C" int MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    const bool question = (uType & MB_TYPEMASK) == MB_OKCANCEL;
    const std::string box = BoxText(lpCaption, lpText);

    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        WriteAll(STDERR_FILENO, box);
        return question ? IDCANCEL : IDOK;
    }
    const int answer = AskOnTerminal(tty, box, question);
    close(tty);
    return answer;
}
