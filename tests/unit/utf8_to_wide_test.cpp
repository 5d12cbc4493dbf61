// Strict UTF-8 to UTF-16, through the platform's MultiByteToWideChar.
#include <gtest/gtest.h>

#include "manifest/utf8_to_wide.h"

namespace {

using namespace std::string_literals;

struct ConversionCase {
    const char* name;
    std::string utf8;
    std::wstring expected;  // empty: refused
};

class Utf8ToWideCases : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Utf8ToWideCases, ConvertsWellFormedInputOnly) {
    EXPECT_EQ(Utf8ToWide(GetParam().utf8), GetParam().expected);
}

std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (unsigned unit : units) text.push_back(static_cast<wchar_t>(unit));
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToWideCases,
    ::testing::Values(
        ConversionCase{"empty", "", L""},
        ConversionCase{"ascii", "https://release.test/a?b", L"https://release.test/a?b"},
        ConversionCase{"two_bytes", "\xC3\xA9", Units({0xE9})},
        ConversionCase{"three_bytes", "\xE2\x82\xAC", Units({0x20AC})},
        ConversionCase{"four_bytes_as_surrogates", "\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00})},
        ConversionCase{"highest", "\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
        ConversionCase{"zero_byte_kept", "a\0b"s, Units({'a', 0, 'b'})},
        ConversionCase{"byte_order_mark_kept", "\xEF\xBB\xBFx", Units({0xFEFF, 'x'})},
        ConversionCase{"edge_of_surrogates", "\xED\x9F\xBF\xEE\x80\x80", Units({0xD7FF, 0xE000})},
        ConversionCase{"lone_continuation", "ok\x80", L""},
        ConversionCase{"cut_short_at_end", "ok\xC3", L""},
        ConversionCase{"cut_short_in_middle", "\xE2\x82x", L""},
        ConversionCase{"overlong_c0", "\xC0\xAF", L""},
        ConversionCase{"overlong_c1", "\xC1\xBF", L""},
        ConversionCase{"overlong_e0", "\xE0\x80\xAF", L""},
        ConversionCase{"overlong_f0", "\xF0\x80\x80\xAF", L""},
        ConversionCase{"encoded_surrogate", "\xED\xA0\x80", L""},
        ConversionCase{"above_10ffff", "\xF4\x90\x80\x80", L""},
        ConversionCase{"byte_f5", "\xF5\x80\x80\x80", L""},
        ConversionCase{"byte_ff", "valid text then \xFF", L""}),
    [](const ::testing::TestParamInfo<ConversionCase>& caseInfo) { return std::string(caseInfo.param.name); });

}  // namespace
