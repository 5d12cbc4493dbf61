// Conversions between the layer's wide text (UTF-16 code units, one per
// wchar_t) and the UTF-8 that Linux interfaces take.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velto::platform {

// Strict: a lone surrogate or an element above 0xFFFF fails.
bool Utf16ToUtf8(std::wstring_view text, std::string& out);

// For display only: what cannot be converted becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::wstring_view text);

// Strict UTF-8 decoding per the Unicode table of well-formed sequences.
// Returns the number of code units written (or needed when out is null),
// or -1 for ill-formed input. With replace, ill-formed parts become U+FFFD
// instead of failing.
long long DecodeUtf8(std::string_view bytes, wchar_t* out, bool replace);

// A Windows path made usable on Linux: UTF-8, backslashes as slashes.
// Fails with ERROR_INVALID_NAME set as the last error on a null or
// ill-formed path.
bool WidePathToUtf8(const wchar_t* path, std::string& out);

// The Windows form of a Linux path: UTF-16, slashes as backslashes. Fails
// for an ill-formed path, or one with a backslash of its own, which could
// not be turned back into the same path.
bool Utf8PathToWidePath(const std::string& path, std::wstring& wide);

// Copies text and its terminator into a caller's buffer of capacity
// elements, as Windows' path queries do: the text's length when it fits,
// otherwise the capacity it needs, terminator included, with nothing
// written.
std::uint32_t CopyTextOut(const std::wstring& text, wchar_t* buffer, std::uint32_t capacity);

// The length of a terminated wide text.
std::size_t WideLength(const wchar_t* text);

}  // namespace velto::platform
