// The system's proxy on Linux: https_proxy, HTTPS_PROXY and no_proxy, with
// HTTPS tunnelled through CONNECT. Only through the test proxy does
// release.velto.test lead anywhere.
#include <gtest/gtest.h>

#include <cstdlib>

#include "download_helpers.h"
#include "platform/win_api.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

std::string ProxyUrl(const std::string& portName) {
    return "http://127.0.0.1:" + std::to_string(ReleaseServer().Port(portName));
}

struct ProxyCase {
    const char* name;
    const char* variable;     // null: no proxy
    std::string proxyPort;    // port name of the proxy
    const char* noProxy;      // null: unset
    bool throughProxyHost;    // ask for release.velto.test instead of localhost
    std::wstring expectedError;  // empty: success
};

void PrintTo(const ProxyCase& c, std::ostream* out) {
    *out << c.name;
}

class ProxyTest : public ::testing::TestWithParam<ProxyCase> {
protected:
    void TearDown() override {
        for (const char* name : {"https_proxy", "HTTPS_PROXY", "no_proxy"}) unsetenv(name);
    }
};

TEST_P(ProxyTest, UsesTheConventionalVariables) {
    const ProxyCase& c = GetParam();
    const ReleaseServerInfo& server = ReleaseServer();
    if (c.variable != nullptr) setenv(c.variable, ProxyUrl(c.proxyPort).c_str(), 1);
    if (c.noProxy != nullptr) setenv("no_proxy", c.noProxy, 1);
    const std::string host = c.throughProxyHost ? server.proxyOnlyHost : "localhost";

    const DownloadOutcome outcome = Download(ServerUrl("https", "/bytes/77", host));
    EXPECT_EQ(outcome.errorText, c.expectedError);
    if (c.expectedError.empty()) {
        EXPECT_EQ(outcome.body, PatternBytes(77));
    }
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, ProxyTest,
    ::testing::Values(
        ProxyCase{"LowerCaseVariable", "https_proxy", "proxy", nullptr, true, L""},
        ProxyCase{"UpperCaseVariable", "HTTPS_PROXY", "proxy", nullptr, true, L""},
        ProxyCase{"NoProxyNoWayThere", nullptr, "", nullptr, true, RequestFailed(ERROR_WINHTTP_NAME_NOT_RESOLVED)},
        ProxyCase{"DeadProxy", "https_proxy", "refused", nullptr, false, RequestFailed(ERROR_WINHTTP_CANNOT_CONNECT)},
        ProxyCase{"BypassedForLocalhost", "https_proxy", "refused", "localhost", false, L""}),
    [](const auto& naming) { return std::string(naming.param.name); });

}  // namespace
}  // namespace velto::test
