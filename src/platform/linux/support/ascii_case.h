// Case-insensitive comparison of protocol text (URL schemes, header names,
// Windows' ASCII-only name comparisons). ASCII letters alone are folded, so
// the result never depends on the process's locale.
#pragma once

#include <cstddef>
#include <string_view>
#include <type_traits>

namespace velto::platform {

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

// Text as a view, the character type taken from the other argument, so that
// a literal can be passed for it.
template <typename Char>
using TextOf = std::type_identity_t<std::basic_string_view<Char>>;

// Whether text begins with lowerCasePrefix, ignoring the case of ASCII
// letters in text.
template <typename Char>
constexpr bool StartsWithAsciiLower(std::basic_string_view<Char> text, TextOf<Char> lowerCasePrefix) {
    if (text.size() < lowerCasePrefix.size()) return false;
    for (std::size_t i = 0; i < lowerCasePrefix.size(); ++i) {
        if (AsciiLower(text[i]) != lowerCasePrefix[i]) return false;
    }
    return true;
}

template <typename Char>
constexpr bool EqualsAsciiLower(std::basic_string_view<Char> text, TextOf<Char> lowerCaseText) {
    return text.size() == lowerCaseText.size() && StartsWithAsciiLower(text, lowerCaseText);
}

}  // namespace velto::platform
