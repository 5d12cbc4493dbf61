// How velto-release ends and how it turns the system's wide text into the
// UTF-8 it prints and reads.
#pragma once

#include <string>

inline constexpr int kToolSucceeded = 0;   // done; for check: the release is ready
inline constexpr int kToolRefused = 1;     // the input would fail in the field, or could not be checked
inline constexpr int kToolUsageError = 2;  // unknown command or option, missing argument or file

// The system's wide text (UTF-16 code units) as UTF-8 for the terminal;
// what is not well-formed becomes U+FFFD.
std::string ToUtf8(const std::wstring& text);

// The same, strictly: false when text is not well-formed UTF-16.
bool ToUtf8Strictly(const std::wstring& text, std::string& utf8);

// Writes "velto-release: " and line to standard error and returns exitCode.
int Fail(int exitCode, const std::string& line);
