#include "platform/linux/kernel32/command_line.h"

namespace velto::platform {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::size_t SkipBlanks(const std::wstring& text, std::size_t pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    return pos;
}

// The program name: quotes toggle, backslashes are ordinary characters.
std::size_t ReadProgramName(const std::wstring& text, std::wstring& word) {
    std::size_t pos = 0;
    bool quoted = false;
    for (; pos < text.size(); ++pos) {
        const wchar_t c = text[pos];
        if (c == L'"') {
            quoted = !quoted;
        } else if (IsBlank(c) && !quoted) {
            break;
        } else {
            word.push_back(c);
        }
    }
    return pos;
}

std::size_t ReadArgument(const std::wstring& text, std::size_t pos, std::wstring& word) {
    bool quoted = false;
    while (pos < text.size()) {
        const wchar_t c = text[pos];
        if (c == L'\\') {
            std::size_t backslashes = 0;
            while (pos < text.size() && text[pos] == L'\\') {
                ++backslashes;
                ++pos;
            }
            if (pos < text.size() && text[pos] == L'"') {
                word.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    word.push_back(L'"');
                    ++pos;
                }
            } else {
                word.append(backslashes, L'\\');
            }
        } else if (c == L'"') {
            if (quoted && pos + 1 < text.size() && text[pos + 1] == L'"') {
                word.push_back(L'"');
                pos += 2;
            } else {
                quoted = !quoted;
                ++pos;
            }
        } else if (IsBlank(c) && !quoted) {
            break;
        } else {
            word.push_back(c);
            ++pos;
        }
    }
    return pos;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
    std::vector<std::wstring> words;
    std::wstring program;
    std::size_t pos = ReadProgramName(commandLine, program);
    words.push_back(program);
    for (pos = SkipBlanks(commandLine, pos); pos < commandLine.size(); pos = SkipBlanks(commandLine, pos)) {
        std::wstring word;
        pos = ReadArgument(commandLine, pos, word);
        words.push_back(word);
    }
    return words;
}

}  // namespace velto::platform
