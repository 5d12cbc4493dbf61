// WinVerifyTrust's handling of its request: the last error, unknown
// actions, short requests, missing files and foreign states (each
// fixture's status is checked with its message, installer_signature_test).
#include <string>

#include <gtest/gtest.h>

#include "fixture_catalog.h"
#include "platform/linux/wintrust/trust_state.h"
#include "trust_environment.h"

namespace velto::test {
namespace {

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
