// Reading manifest members by byte search.
#include <gtest/gtest.h>

#include "manifest/json_string.h"

namespace {

struct ExtractCase {
    const char* name;
    std::string text;
    std::string key;
    std::string expected;
};

class ExtractJsonStringCases : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractJsonStringCases, FindsTheFirstQuotedNameAndDecodesItsValue) {
    EXPECT_EQ(ExtractJsonString(GetParam().text, GetParam().key), GetParam().expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtractJsonStringCases,
    ::testing::Values(
        ExtractCase{"only_version", R"({"version":"2.0"})", "version", "2.0"},
        ExtractCase{"missing_url", R"({"version":"2.0"})", "url", ""},
        ExtractCase{"blanks", "{\"version\" \t\r\n : \n\t \"2.0\"}", "version", "2.0"},
        ExtractCase{"any_bytes_before_colon", R"({"version" junk : more junk "2.0"})", "version", "2.0"},
        ExtractCase{"missing_colon", R"({"version" "2.0", "url":"x"})", "version", "x"},
        ExtractCase{"number_value", R"({"version": 2, "url":"u"})", "version", "url"},
        ExtractCase{"null_value_at_end", R"({"version": null})", "version", ""},
        ExtractCase{"name_first_seen_as_value", R"({"sha256":"version","url":"x","version":"2.0"})", "version", "x"},
        ExtractCase{"nested_first_wins", R"({"meta":{"version":"0.9"},"version":"2.0"})", "version", "0.9"},
        ExtractCase{"no_second_attempt", R"({"version":"\u0032","version":"2.0"})", "version", ""},
        ExtractCase{"longer_name", R"({"app_version":"1","version":"2.0"})", "version", "2.0"},
        ExtractCase{"letter_case", R"({"Version":"2.0"})", "version", ""},
        ExtractCase{"escapes", R"({"v":"a\"b\\c\/d\te"})", "v", "a\"b\\c/d\te"},
        ExtractCase{"all_escapes", R"({"v":"\b\f\n\r\t"})", "v", "\b\f\n\r\t"},
        ExtractCase{"escaped_quote_at_end", R"({"v":"ab\""})", "v", "ab\""},
        ExtractCase{"escaped_backslash_at_end", R"({"v":"ab\\"})", "v", "ab\\"},
        ExtractCase{"unknown_escape", R"({"v":"a\xb"})", "v", ""},
        ExtractCase{"unicode_escape", R"({"v":"a\u0041"})", "v", ""},
        ExtractCase{"high_byte_escape", "{\"v\":\"a\\\xC3\xA9\"}", "v", ""},
        ExtractCase{"unterminated", R"({"v":"abc)", "v", ""},
        ExtractCase{"ends_after_backslash", R"({"v":"abc\)", "v", ""},
        ExtractCase{"ends_after_name", R"({"v")", "v", ""},
        ExtractCase{"ends_after_colon", R"({"v":)", "v", ""},
        ExtractCase{"ends_after_opening_quote", R"({"v":")", "v", ""},
        ExtractCase{"empty_value", R"({"v":""})", "v", ""},
        ExtractCase{"empty_text", "", "v", ""},
        ExtractCase{"raw_bytes_copied", "{\"v\":\"a\tb\nc\0d\xE2\x82\xAC\"}"s, "v", "a\tb\nc\0d\xE2\x82\xAC"s},
        ExtractCase{"zero_byte_before_member", "\0{\"v\":\"x\"}"s, "v", "x"},
        ExtractCase{"key_with_quote_is_not_escaped", R"({"a"b":"1"})", "a\"b", "1"}),
    [](const ::testing::TestParamInfo<ExtractCase>& caseInfo) { return std::string(caseInfo.param.name); });

}  // namespace
