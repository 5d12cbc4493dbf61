// libFuzzer target for the layer's MultiByteToWideChar: every combination
// of flags, counts and buffer sizes the interface allows. Buffers are
// allocated at exactly the offered size, so AddressSanitizer reports any
// write past them. Strict conversion must agree with an independent
// decoder; replacing conversion must give well-formed UTF-16 and agree with
// it wherever the input was well-formed.
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/win_api.h"
#include "utf8_reference.h"

namespace {

using namespace velto::fuzz;

bool IsWellFormedUtf16(const wchar_t* units, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto unit = static_cast<char32_t>(units[i]);
        if (unit > 0xFFFF) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == count || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
            ++i;
        }
    }
    return true;
}

// The bytes the call converts: the whole text, or up to and with its first
// zero byte when the count is -1.
std::string EffectiveInput(const std::string& text, bool terminated) {
    if (!terminated) return text;
    return text.substr(0, text.find('\0')) + std::string(1, '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input{data, size};
    const std::uint8_t choices = input.TakeByte();
    const std::uint8_t offerChoice = input.TakeByte();
    const std::string text = input.TakeRest();
    const DWORD flags = (choices & 1) != 0 ? MB_ERR_INVALID_CHARS : 0;
    const bool terminated = (choices & 2) != 0;
    if (text.empty() && !terminated) return 0;  // a count of 0 is refused, tested by the unit tests

    // A terminated text needs its terminator in memory.
    const std::string stored = terminated ? text + std::string(1, '\0') : text;
    const int count = terminated ? -1 : static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, flags, stored.data(), count, nullptr, 0);
    const std::string effective = EffectiveInput(text, terminated);
    const auto reference = ReferenceUtf8ToUtf16(effective);
    if (flags == MB_ERR_INVALID_CHARS) {
        Require((needed > 0) == reference.has_value(), "strict conversion succeeds exactly for well-formed input");
        if (needed <= 0) {
            Require(GetLastError() == ERROR_NO_UNICODE_TRANSLATION, "ill-formed input is reported as such");
            return 0;
        }
    }
    Require(needed > 0, "replacing conversion of a non-empty text succeeds");

    // Offer a buffer that is too small, exact, or larger; a size of 0 would
    // be a query again.
    int offered = needed + static_cast<int>(offerChoice % 3) - 1;
    offered = offered == 0 ? needed : offered;
    auto buffer = std::make_unique<wchar_t[]>(static_cast<std::size_t>(offered));
    const int written = MultiByteToWideChar(CP_UTF8, flags, stored.data(), count, buffer.get(), offered);
    if (offered < needed) {
        Require(written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER, "a short buffer is refused");
        return 0;
    }
    Require(written == needed, "the conversion writes what the query announced");
    Require(IsWellFormedUtf16(buffer.get(), static_cast<std::size_t>(written)), "the result is well-formed UTF-16");
    if (reference) {
        Require(SameUnits(*reference, buffer.get(), static_cast<std::size_t>(written)),
                "well-formed input gives its UTF-16 form");
    }
    return 0;
}
