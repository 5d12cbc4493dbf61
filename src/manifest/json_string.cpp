#include "manifest/json_string.h"

#include <optional>

namespace {

constexpr char kQuote = '"';
constexpr char kColon = ':';
constexpr char kBackslash = '\\';

std::optional<char> UnescapedByte(char escaped) {
    switch (escaped) {
        case '"': return '"';
        case '\\': return '\\';
        case '/': return '/';
        case 'b': return '\b';
        case 'f': return '\f';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        default: return std::nullopt;
    }
}

// Reads a JSON string whose opening quote is just before start.
std::string ReadStringValue(const std::string& text, std::size_t start) {
    std::string value;
    bool escaped = false;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char byte = text[i];
        if (escaped) {
            const std::optional<char> decoded = UnescapedByte(byte);
            if (!decoded) return {};
            value.push_back(*decoded);
            escaped = false;
        } else if (byte == kBackslash) {
            escaped = true;
        } else if (byte == kQuote) {
            return value;
        } else {
            value.push_back(byte);
        }
    }
    return {};  // no closing quote
}

}  // namespace

std::string ExtractJsonString(const std::string& text, const std::string& key) {
    const std::string pattern = kQuote + key + kQuote;
    const std::size_t name = text.find(pattern);
    if (name == std::string::npos) return {};

    const std::size_t colon = text.find(kColon, name + pattern.size());
    if (colon == std::string::npos) return {};

    const std::size_t opening = text.find(kQuote, colon + 1);
    if (opening == std::string::npos) return {};

    return ReadStringValue(text, opening + 1);
}
