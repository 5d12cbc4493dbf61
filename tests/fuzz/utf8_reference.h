// An independent UTF-8 decoder for checking the converters: it follows the
// definition of UTF-8 (RFC 3629) rather than the Unicode table of
// well-formed byte sequences that the layer uses. The lead byte gives the
// length; every further byte must be a continuation byte; the value must
// need that length (no overlong form), lie at most at U+10FFFF and not be
// a surrogate.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace velto::fuzz {

inline std::optional<std::vector<char16_t>> ReferenceUtf8ToUtf16(std::string_view bytes) {
    std::vector<char16_t> units;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 0;
        char32_t value = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            length = 1, value = lead;
        } else if ((lead >> 5) == 0x6) {
            length = 2, value = lead & 0x1F, smallest = 0x80;
        } else if ((lead >> 4) == 0xE) {
            length = 3, value = lead & 0x0F, smallest = 0x800;
        } else if ((lead >> 3) == 0x1E) {
            length = 4, value = lead & 0x07, smallest = 0x10000;
        } else {
            return std::nullopt;
        }
        if (bytes.size() - at < length) return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[at + k]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
        if (value >= 0x10000) {
            units.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(value));
        }
        at += length;
    }
    return units;
}

template <typename Wide>
bool SameUnits(const std::vector<char16_t>& expected, const Wide* actual, std::size_t count) {
    if (expected.size() != count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<char32_t>(expected[i]) != static_cast<char32_t>(actual[i])) return false;
    }
    return true;
}

}  // namespace velto::fuzz
