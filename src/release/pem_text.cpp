#include "release/pem_text.h"

#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kBegin = "-----BEGIN ";
constexpr std::string_view kEnd = "-----END ";
constexpr std::string_view kDashes = "-----";
constexpr std::string_view kCertificateLabel = "CERTIFICATE";

int Base64Value(char symbol) {
    if (symbol >= 'A' && symbol <= 'Z') return symbol - 'A';
    if (symbol >= 'a' && symbol <= 'z') return symbol - 'a' + 26;
    if (symbol >= '0' && symbol <= '9') return symbol - '0' + 52;
    if (symbol == '+') return 62;
    if (symbol == '/') return 63;
    return -1;
}

bool IsBlank(char symbol) {
    return symbol == ' ' || symbol == '\t' || symbol == '\r' || symbol == '\n';
}

// Base64 in groups of four symbols, line breaks and blanks anywhere; "="
// pads only the last group, by one or two symbols.
bool DecodeBase64(std::string_view text, std::string& bytes) {
    bytes.clear();
    std::uint32_t group = 0;
    int symbols = 0;
    int padding = 0;
    bool ended = false;  // a padded group ends the data
    for (const char symbol : text) {
        if (IsBlank(symbol)) continue;
        const int value = symbol == '=' ? 0 : Base64Value(symbol);
        if (ended || value < 0 || (symbol != '=' && padding != 0)) return false;
        padding += symbol == '=' ? 1 : 0;
        group = group << 6 | static_cast<std::uint32_t>(value);
        if (++symbols < 4) continue;
        if (padding > 2) return false;
        for (int index = 0; index < 3 - padding; ++index) {
            bytes.push_back(static_cast<char>(group >> (16 - 8 * index) & 0xFF));
        }
        ended = padding != 0;
        group = 0;
        symbols = 0;
    }
    return symbols == 0;
}

}  // namespace

int ReadPemCertificates(const std::string& text, std::string& firstDer) {
    const std::string_view rest(text);
    int count = 0;
    for (std::size_t at = rest.find(kBegin); at != std::string_view::npos; at = rest.find(kBegin, at)) {
        const std::size_t labelStart = at + kBegin.size();
        const std::size_t labelEnd = rest.find(kDashes, labelStart);
        if (labelEnd == std::string_view::npos) break;
        const std::string_view label = rest.substr(labelStart, labelEnd - labelStart);
        const std::string endLine = std::string(kEnd) + std::string(label) + std::string(kDashes);
        const std::size_t bodyStart = labelEnd + kDashes.size();
        const std::size_t bodyEnd = rest.find(endLine, bodyStart);
        if (bodyEnd == std::string_view::npos) break;
        if (label == kCertificateLabel && ++count == 1 &&
            !DecodeBase64(rest.substr(bodyStart, bodyEnd - bodyStart), firstDer)) {
            firstDer.clear();
        }
        at = bodyEnd + endLine.size();
    }
    return count;
}
