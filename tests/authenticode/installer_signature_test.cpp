// Every fixture with WinVerifyTrust's status and the message of the
// system's own VerifyInstallerSignature, with the test root trusted and with
// nothing trusted; the forms of the pin, and the order in which the pin and
// the verdict are judged.
#include <cctype>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "fixture_catalog.h"
#include "platform/linux/wintrust/trust_state.h"
#include "trust_environment.h"
#include "verify/installer_signature.h"

namespace velto::test {
namespace {

constexpr const wchar_t* kUntouched = L"(untouched)";

struct Outcome {
    bool accepted;
    std::wstring text;
};

Outcome Verify(const std::string& file, const std::wstring& pin) {
    std::wstring text = kUntouched;
    const bool accepted = VerifyInstallerSignature(WideFixturePath(file), pin, text);
    EXPECT_EQ(platform::wintrust::OpenTrustStateCount(), 0u) << "the closing call released the state";
    return {accepted, text};
}

std::wstring Pin(const std::string& signer) {
    return Widen(SignerFingerprint(signer));
}

using VerdictCase = std::tuple<FixtureCase, Trust>;

class FixtureVerdict : public testing::TestWithParam<VerdictCase> {};

TEST_P(FixtureVerdict, IsTheLayersStatusAndTheSystemsMessage) {
    const auto& [fixture, trust] = GetParam();
    UseTrust(trust);
    const Verdict& expected = trust == Trust::kTestRoot ? fixture.trustedRoot : fixture.noTrust;
    const LONG status = VerifyAndClose(WideFixturePath(fixture.file));
    EXPECT_EQ(static_cast<DWORD>(status), static_cast<DWORD>(expected.status)) << fixture.file;
    EXPECT_EQ(GetLastError(), 0u) << "the closing call succeeded last";
    const Outcome outcome = Verify(fixture.file, Pin(fixture.signer));
    EXPECT_EQ(outcome.accepted, expected.message.empty()) << fixture.file;
    EXPECT_EQ(outcome.text, expected.message.empty() ? kUntouched : expected.message) << fixture.file;
}

std::string CaseName(const testing::TestParamInfo<VerdictCase>& info) {
    std::string name = std::string(std::get<0>(info.param).file) + "_" + TrustName(std::get<1>(info.param));
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureVerdict,
                         testing::Combine(testing::ValuesIn(FixtureCatalog()),
                                          testing::Values(Trust::kTestRoot, Trust::kNothing)),
                         CaseName);

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::tolower(static_cast<int>(c)));
    }
    return text;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::toupper(static_cast<int>(c)));
    }
    return text;
}

std::wstring Separated(const std::wstring& hex, wchar_t separator) {
    std::wstring out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        out += (i == 0 ? L"" : std::wstring(1, separator)) + hex.substr(i, 2);
    }
    return out;
}

struct PinCase {
    const char* name;
    std::wstring (*makePin)();
    bool accepted;
};

void PrintTo(const PinCase& pin, std::ostream* out) { *out << pin.name; }

const PinCase kPinCases[] = {
    {"UpperCase", [] { return Upper(Pin("leaf")); }, true},
    {"LowerCase", [] { return Lower(Pin("leaf")); }, true},
    {"SpaceSeparatedPairs", [] { return Separated(Pin("leaf"), L' '); }, true},
    {"ColonSeparatedLowerPairs", [] { return Separated(Lower(Pin("leaf")), L':'); }, true},
    {"Empty", [] { return std::wstring(); }, false},
    {"NoHexDigits", [] { return std::wstring(L"no digits: xyz-!"); }, false},
    {"AnotherCertificate", [] { return Pin("other"); }, false},
    {"OneDigitShort", [] { return Pin("leaf").substr(1); }, false},
};

class PinFormTest : public testing::TestWithParam<PinCase> {};

TEST_P(PinFormTest, PinIsJudgedOnItsHexDigits) {
    UseTrust(Trust::kTestRoot);
    const PinCase& pin = GetParam();
    const Outcome outcome = Verify("signed_full.exe", pin.makePin());
    EXPECT_EQ(outcome.accepted, pin.accepted);
    EXPECT_EQ(outcome.text, pin.accepted ? kUntouched : kNotPinnedMessage);
}

INSTANTIATE_TEST_SUITE_P(Pins, PinFormTest, testing::ValuesIn(kPinCases),
                         [](const testing::TestParamInfo<PinCase>& caseInfo) { return caseInfo.param.name; });

TEST(VerdictOrder, AlteredFileSignedByAnotherCertificateGetsThePinMessage) {
    UseTrust(Trust::kTestRoot);
    EXPECT_EQ(Verify("tampered_other_code.exe", Pin("leaf")).text, kNotPinnedMessage);
    EXPECT_EQ(Verify("tampered_other_code.exe", Pin("other")).text, kModifiedMessage);
}

TEST(VerdictOrder, FullyTrustedFileFromAnotherSignerGetsThePinMessage) {
    UseTrust(Trust::kTestRoot);
    const Outcome outcome = Verify("signed_full.exe", Pin("other"));
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(outcome.text, kNotPinnedMessage);
}

TEST(VerdictOrder, RejectedStatusIsIgnoredWhenThePinFails) {
    UseTrust(Trust::kTestRoot);
    EXPECT_EQ(Verify("signed_expired.exe", Pin("leaf")).text, kNotPinnedMessage);
    EXPECT_EQ(Verify("signed_expired.exe", Pin("expired")).text, RejectedMessage(L"0x800B0101"));
}

}  // namespace
}  // namespace velto::test
