// WinVerifyTrust's status for every fixture, with the test root trusted and
// with nothing trusted, and the release of its state by the closing call.
#include <cctype>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "fixture_catalog.h"
#include "platform/linux/wintrust/trust_state.h"
#include "trust_environment.h"

namespace velto::test {
namespace {

using StatusCase = std::tuple<FixtureCase, Trust>;

class LayerStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(LayerStatusTest, WinVerifyTrustGivesTheExpectedStatus) {
    const auto& [fixture, trust] = GetParam();
    UseTrust(trust);
    const LONG expected = trust == Trust::kTestRoot ? fixture.trustedRoot.status : fixture.noTrust.status;
    const LONG status = VerifyAndClose(WideFixturePath(fixture.file));
    EXPECT_EQ(static_cast<DWORD>(status), static_cast<DWORD>(expected)) << fixture.file;
    EXPECT_EQ(GetLastError(), 0u) << "the closing call succeeded last";
}

std::string CaseName(const testing::TestParamInfo<StatusCase>& info) {
    std::string name = std::string(std::get<0>(info.param).file) + "_" + TrustName(std::get<1>(info.param));
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LayerStatusTest,
                         testing::Combine(testing::ValuesIn(FixtureCatalog()),
                                          testing::Values(Trust::kTestRoot, Trust::kNothing)),
                         CaseName);

GUID GenericVerify() {
    return WINTRUST_ACTION_GENERIC_VERIFY_V2;
}

TEST(WinVerifyTrustRequest, VerifyCallSetsTheLastErrorToItsStatus) {
    UseTrust(Trust::kTestRoot);
    const std::wstring path = WideFixturePath("tampered_code.exe");
    GUID action = GenericVerify();
    WINTRUST_FILE_INFO file = {sizeof(file), path.c_str(), nullptr, nullptr};
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    EXPECT_EQ(WinVerifyTrust(nullptr, &action, &data), TRUST_E_BAD_DIGEST);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(TRUST_E_BAD_DIGEST));
    EXPECT_EQ(data.hWVTStateData, nullptr) << "without the verify action nothing is kept";
}

TEST(WinVerifyTrustRequest, UnknownActionIsRefused) {
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    GUID other = GenericVerify();
    other.Data1 ^= 1;
    EXPECT_EQ(WinVerifyTrust(nullptr, &other, &data), TRUST_E_PROVIDER_UNKNOWN);
    EXPECT_EQ(WinVerifyTrust(nullptr, nullptr, &data), TRUST_E_PROVIDER_UNKNOWN);
}

TEST(WinVerifyTrustRequest, MissingOrShortRequestIsRefused) {
    GUID action = GenericVerify();
    EXPECT_EQ(WinVerifyTrust(nullptr, &action, nullptr), E_INVALIDARG);
    WINTRUST_DATA data = {};
    data.cbStruct = 8;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    EXPECT_EQ(WinVerifyTrust(nullptr, &action, &data), E_INVALIDARG);
}

TEST(WinVerifyTrustRequest, MissingFileGivesTheFileError) {
    const ScratchFolder scratch;
    const std::wstring path = Widen(scratch.Under("absent.exe"));
    EXPECT_EQ(static_cast<DWORD>(VerifyAndClose(path)), 0x80070002u);
}

TEST(WinVerifyTrustRequest, ClosingAForeignStateIsRefused) {
    GUID action = GenericVerify();
    int notAState = 0;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    data.hWVTStateData = &notAState;
    EXPECT_EQ(WinVerifyTrust(nullptr, &action, &data), E_INVALIDARG);
    data.hWVTStateData = nullptr;
    EXPECT_EQ(WinVerifyTrust(nullptr, &action, &data), 0) << "closing with no state is harmless";
}

}  // namespace
}  // namespace velto::test
