// The manifest that velto-release writes, read back by the bootstrapper's
// own extraction, and the values it refuses to write.
#include <gtest/gtest.h>

#include "manifest/json_string.h"
#include "manifest/release_manifest.h"
#include "manifest/utf8_to_wide.h"
#include "release/manifest_text.h"

namespace {

Sha256Digest Digest() {
    Sha256Digest digest;
    digest.fill(0xAB);
    return digest;
}

struct Values {
    const char* name;
    std::string version;
    std::string url;
    std::string expectation;  // for refusals: a part of the reason
};

std::string PrintName(const testing::TestParamInfo<Values>& info) {
    return info.param.name;
}

const std::string kUrl = "https://releases.example.com/downloads/velto/Velto_Setup_2.1.0.exe";

class ManifestRoundTrip : public testing::TestWithParam<Values> {};

TEST_P(ManifestRoundTrip, TheBootstrapperReadsBackExactlyTheValues) {
    std::string text;
    std::string refusal;
    ASSERT_TRUE(ComposeManifest(GetParam().version, GetParam().url, Digest(), text, refusal)) << refusal;
    EXPECT_EQ(ExtractJsonString(text, "version"), GetParam().version);
    EXPECT_EQ(ExtractJsonString(text, "url"), GetParam().url);
    const ReleaseManifest read = ReadReleaseManifest(text);
    EXPECT_TRUE(IsCompleteManifest(read));
    EXPECT_EQ(read.version, Utf8ToWide(GetParam().version));
    EXPECT_EQ(read.sha256, L"ABABABABABABABABABABABABABABABABABABABABABABABABABABABABABABABAB");
    EXPECT_EQ(text.find("\\u"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ManifestRoundTrip,
    testing::Values(
        Values{"plain", "2.1.0", kUrl, ""},
        Values{"quotes_and_backslashes", "2.1 \"beta\" C:\\Velto\\", kUrl, ""},
        Values{"every_short_escape", "a\tb\nc\rd\fe\bf/g", kUrl, ""},
        Values{"utf8_and_delete_as_they_stand", "2.1 \xE2\x80\x94 \xC3\xBC \xE7\x89\x88 \xF0\x9F\x98\x80 \x7F", kUrl, ""},
        // A quoted member name inside a value is found by the byte search,
        // but the next colon still leads to the right value.
        Values{"member_name_inside_a_value", "x \"url\": \"http://elsewhere\" \"url", kUrl, ""},
        Values{"url_in_capitals_with_a_quote", "2.1.0", "HTTPS://Example.com/get?file=\"setup\"", ""}),
    PrintName);

class ManifestRefusal : public testing::TestWithParam<Values> {};

TEST_P(ManifestRefusal, NamesTheReason) {
    std::string text;
    std::string refusal;
    EXPECT_FALSE(ComposeManifest(GetParam().version, GetParam().url, Digest(), text, refusal));
    EXPECT_NE(refusal.find(GetParam().expectation), std::string::npos) << refusal;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ManifestRefusal,
    testing::Values(
        Values{"empty_version", "", kUrl, "the version is empty"},
        Values{"empty_url", "2.1.0", "", "the URL is empty"},
        Values{"control_character", "2.1\x01", kUrl, "control character U+0001"},
        Values{"zero_byte", std::string("2.1\0", 4), kUrl, "control character U+0000"},
        Values{"escape_in_url", "2.1.0", kUrl + "\x1B", "URL holds the control character U+001B"},
        Values{"broken_utf8", "2.1 \xC3(", kUrl, "version is not well-formed UTF-8"},
        Values{"encoded_surrogate", "\xED\xA0\x80", kUrl, "version is not well-formed UTF-8"},
        Values{"plain_http", "2.1.0", "http://releases.example.com/setup.exe", "does not start with https://"},
        Values{"scheme_only_in_part", "2.1.0", "https:/", "does not start with https://"},
        Values{"version_ending_in_a_member_name", "x\"sha256", kUrl, "would read other values"},
        Values{"over_the_size_limit", std::string(131072, 'v'), kUrl, "the bootstrapper reads at most 131072"}),
    PrintName);

}  // namespace
