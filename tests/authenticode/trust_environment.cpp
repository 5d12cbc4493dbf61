#include "trust_environment.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/linux/wintrust/trust_state.h"
#include "verify/trust_request.h"

namespace velto::test {

void UseTrust(Trust trust) {
    const std::string file = PkiPath(trust == Trust::kTestRoot ? "root.crt" : "empty.pem");
    setenv("SSL_CERT_FILE", file.c_str(), 1);
    setenv("SSL_CERT_DIR", PkiPath("empty_dir").c_str(), 1);
}

LONG VerifyAndClose(const std::wstring& path, HANDLE heldFile) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO file;
    WINTRUST_DATA data = MakeFileTrustRequest(file, path, heldFile);
    const std::size_t before = platform::wintrust::OpenTrustStateCount();
    const LONG status = WinVerifyTrust(nullptr, &action, &data);
    EXPECT_NE(data.hWVTStateData, nullptr);
    EXPECT_EQ(platform::wintrust::OpenTrustStateCount(), before + 1);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    EXPECT_EQ(WinVerifyTrust(nullptr, &action, &data), 0);
    EXPECT_EQ(data.hWVTStateData, nullptr);
    EXPECT_EQ(platform::wintrust::OpenTrustStateCount(), before);
    return status;
}

const char* TrustName(Trust trust) {
    return trust == Trust::kTestRoot ? "TestRootTrusted" : "NothingTrusted";
}

}  // namespace velto::test
