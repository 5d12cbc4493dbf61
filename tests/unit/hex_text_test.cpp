// Hexadecimal digest text: conversion, normalisation and comparison.
#include <gtest/gtest.h>

#include "verify/hex_text.h"

namespace {

TEST(BytesToHex, WritesTwoUpperCaseDigitsPerByteHighNibbleFirst) {
    const std::uint8_t bytes[] = {0x00, 0xAB, 0x0F, 0xF0, 0x9C};
    EXPECT_EQ(BytesToHex(bytes, 3), L"00AB0F");
    EXPECT_EQ(BytesToHex(bytes, 5), L"00AB0FF09C");
    EXPECT_EQ(BytesToHex(bytes, 0), L"");
}

struct NormalizeCase {
    std::wstring input;
    std::wstring expected;
};

class NormalizeHexCases : public ::testing::TestWithParam<NormalizeCase> {};

TEST_P(NormalizeHexCases, KeepsOnlyHexDigitsUpperCased) {
    EXPECT_EQ(NormalizeHex(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizeHexCases,
    ::testing::Values(NormalizeCase{L" ab:cd-EF ", L"ABCDEF"}, NormalizeCase{L"0xAB", L"0AB"},
                      NormalizeCase{L"ghij", L""}, NormalizeCase{L"", L""}, NormalizeCase{L"Ab12", L"AB12"},
                      NormalizeCase{L"\t\r\n0f", L"0F"},
                      // Latin-1 letters and superscript digits are not hexadecimal digits.
                      NormalizeCase{L"\u00B2\u00B3\u00B9\u00AA\u00E1f", L"F"},
                      NormalizeCase{std::wstring(1, static_cast<wchar_t>(0xFFFF)) + L"a", L"A"},
                      NormalizeCase{L"gG zZ xX 9", L"9"}));

TEST(NormalizeHex, SeparatedPairsGiveTheSameTextAsTheBareForm) {
    const std::wstring bare = L"00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF";
    std::wstring spaced;
    std::wstring colons;
    for (std::size_t i = 0; i < bare.size(); i += 2) {
        spaced += (i ? L" " : L"") + bare.substr(i, 2);
        colons += (i ? L":" : L"") + bare.substr(i, 2);
    }
    for (wchar_t& c : colons) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    EXPECT_EQ(NormalizeHex(spaced), bare);
    EXPECT_EQ(NormalizeHex(colons), bare);
}

struct EqualsCase {
    std::wstring left;
    std::wstring right;
    bool equal;
};

class HexEqualsCases : public ::testing::TestWithParam<EqualsCase> {};

TEST_P(HexEqualsCases, ComparesExactly) {
    EXPECT_EQ(HexEquals(GetParam().left, GetParam().right), GetParam().equal);
    EXPECT_EQ(HexEquals(GetParam().right, GetParam().left), GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(Cases, HexEqualsCases,
                         ::testing::Values(EqualsCase{L"", L"", true}, EqualsCase{L"AB", L"ABC", false},
                                           EqualsCase{L"ab", L"AB", false}, EqualsCase{L"AB", L"AB", true},
                                           EqualsCase{L"A0", L"A1", false}, EqualsCase{L"", L"0", false}));

}  // namespace
