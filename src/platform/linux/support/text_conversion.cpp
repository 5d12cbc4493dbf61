#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/text_conversion.h"

#include "platform/linux/kernel32.h"

namespace velto::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t code, std::string& out) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// Converts UTF-16 units to UTF-8; a unit that is no valid UTF-16 either
// fails the conversion or becomes U+FFFD.
bool ConvertUtf16(std::wstring_view text, std::string& out, bool replace) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<char32_t>(text[i]);
        char32_t code = unit;
        if (unit > 0xFFFF || IsLowSurrogate(unit)) {
            code = kReplacement;
        } else if (IsHighSurrogate(unit)) {
            const char32_t next = i + 1 < text.size() ? static_cast<char32_t>(text[i + 1]) : 0;
            if (IsLowSurrogate(next)) {
                code = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                code = kReplacement;
            }
        }
        if (code == kReplacement && unit != kReplacement && !replace) return false;
        AppendUtf8(code, out);
    }
    return true;
}

// The accepted range of the second byte of a sequence led by lead, from
// the Unicode table of well-formed UTF-8 byte sequences; the third and
// fourth bytes are always 0x80 to 0xBF.
struct LeadByte {
    int length;
    unsigned char secondLow;
    unsigned char secondHigh;
};

LeadByte ClassifyLead(unsigned char lead) {
    if (lead < 0x80) return {1, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Decodes one sequence at bytes[pos]; returns its code point and sets
// consumed, or returns -1 and sets consumed to the ill-formed part's length.
long DecodeOne(std::string_view bytes, std::size_t pos, std::size_t& consumed) {
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    const LeadByte kind = ClassifyLead(lead);
    consumed = 1;
    if (kind.length == 0) return -1;
    if (kind.length == 1) return lead;

    long code = lead & (0x7F >> kind.length);
    for (int k = 1; k < kind.length; ++k) {
        if (pos + k >= bytes.size()) return -1;
        const auto next = static_cast<unsigned char>(bytes[pos + k]);
        const unsigned char low = k == 1 ? kind.secondLow : 0x80;
        const unsigned char high = k == 1 ? kind.secondHigh : 0xBF;
        if (next < low || next > high) return -1;
        code = (code << 6) | (next & 0x3F);
        consumed = static_cast<std::size_t>(k) + 1;
    }
    return code;
}

}  // namespace

bool Utf16ToUtf8(std::wstring_view text, std::string& out) {
    return ConvertUtf16(text, out, false);
}

std::string Utf16ToUtf8Lossy(std::wstring_view text) {
    std::string out;
    ConvertUtf16(text, out, true);
    return out;
}

long long DecodeUtf8(std::string_view bytes, wchar_t* out, bool replace) {
    long long units = 0;
    auto emit = [&](char32_t unit) {
        if (out != nullptr) out[units] = static_cast<wchar_t>(unit);
        ++units;
    };
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::size_t consumed = 0;
        long code = DecodeOne(bytes, pos, consumed);
        if (code < 0) {
            if (!replace) return -1;
            code = kReplacement;
        }
        if (code >= 0x10000) {
            emit(0xD800 + ((static_cast<char32_t>(code) - 0x10000) >> 10));
            emit(0xDC00 + ((static_cast<char32_t>(code) - 0x10000) & 0x3FF));
        } else {
            emit(static_cast<char32_t>(code));
        }
        pos += consumed;
    }
    return units;
}

std::size_t WideLength(const wchar_t* text) {
    std::size_t length = 0;
    while (text[length] != L'\0') ++length;
    return length;
}

bool WidePathToUtf8(const wchar_t* path, std::string& out) {
    if (path == nullptr || !Utf16ToUtf8(std::wstring_view(path, WideLength(path)), out) || out.empty()) {
        return Fail(ERROR_INVALID_NAME);
    }
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return true;
}

std::uint32_t CopyTextOut(const std::wstring& text, wchar_t* buffer, std::uint32_t capacity) {
    if (buffer == nullptr || text.size() + 1 > capacity) return static_cast<std::uint32_t>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = L'\0';
    return static_cast<std::uint32_t>(text.size());
}

bool Utf8PathToWidePath(const std::string& path, std::wstring& wide) {
    if (path.find('\\') != std::string::npos) return false;
    const long long units = DecodeUtf8(path, nullptr, false);
    if (units < 0) return false;
    wide.assign(static_cast<std::size_t>(units), L'\0');
    DecodeUtf8(path, wide.data(), false);
    for (wchar_t& unit : wide) {
        if (unit == L'/') unit = L'\\';
    }
    return true;
}

}  // namespace velto::platform
