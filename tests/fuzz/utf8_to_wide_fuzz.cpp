// libFuzzer target for Utf8ToWide, the conversion of manifest values: the
// result must be exactly what an independent decoder gives for well-formed
// input, and empty for anything else.
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "manifest/utf8_to_wide.h"
#include "utf8_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velto::fuzz;
    const std::string utf8(reinterpret_cast<const char*>(data), size);
    const std::wstring wide = Utf8ToWide(utf8);
    const auto expected = ReferenceUtf8ToUtf16(utf8);
    if (utf8.empty() || !expected) {
        Require(wide.empty(), "empty or ill-formed input gives an empty result");
    } else {
        Require(SameUnits(*expected, wide.data(), wide.size()), "well-formed input gives its UTF-16 form");
    }
    return 0;
}
