// libFuzzer target for NormalizeHex, which reads the digest in the
// manifest (and the configured pin): the input is taken as UTF-16 code
// units. The result keeps every hexadecimal digit and nothing else, in
// their order, with a to f upper-cased; normalising it again changes nothing; and the
// hexadecimal text of any bytes is already normal.
#include <cstdint>
#include <cwctype>
#include <string>

#include "fuzz_input.h"
#include "verify/hex_text.h"

namespace {

wchar_t Normal(wchar_t unit) {
    return unit >= L'a' && unit <= L'f' ? static_cast<wchar_t>(unit - L'a' + L'A') : unit;
}

// Whether normalized is text with some units left out and the rest normalised.
bool IsNormalisedSubsequence(const std::wstring& normalized, const std::wstring& text) {
    std::size_t at = 0;
    for (const wchar_t unit : text) {
        if (at < normalized.size() && normalized[at] == Normal(unit)) ++at;
    }
    return at == normalized.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velto::fuzz;
    std::wstring text;
    for (std::size_t at = 0; at + 1 < size; at += 2) {
        text.push_back(static_cast<wchar_t>(data[at] | (data[at + 1] << 8)));
    }
    const std::wstring normalized = NormalizeHex(text);
    for (const wchar_t unit : normalized) {
        Require(std::iswxdigit(static_cast<wint_t>(unit)) != 0, "only hexadecimal digits remain");
        Require(unit < L'a' || unit > L'f', "no lower-case digit remains");
    }
    std::size_t digits = 0;
    for (const wchar_t unit : text) {
        digits += unit != 0xFFFF && std::iswxdigit(static_cast<wint_t>(unit)) != 0 ? 1 : 0;
    }
    Require(normalized.size() == digits, "every hexadecimal digit is kept");
    Require(IsNormalisedSubsequence(normalized, text), "the digits keep their order");
    Require(NormalizeHex(normalized) == normalized, "normalising twice changes nothing");
    Require(HexEquals(normalized, normalized), "a text equals itself");

    const std::wstring hex = BytesToHex(data, size);
    Require(hex.size() == 2 * size && NormalizeHex(hex) == hex, "hexadecimal text of bytes is normal");
    return 0;
}
