// Every way the network or the server can fail a download, each with the
// message DownloadHttps builds from the WinHTTP code Windows gives.
#include <gtest/gtest.h>

#include "download_helpers.h"
#include "platform/win_api.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

struct FailureCase {
    const char* name;
    std::string port;
    std::string path;
    std::wstring (*message)(unsigned);
    unsigned code;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class TransportFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TransportFailureTest, FailsWithTheWindowsCode) {
    const FailureCase& c = GetParam();
    const DownloadOutcome outcome = Download(ServerUrl(c.port, c.path), kInstallerSizeLimit);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.errorText, c.message(c.code));
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Transport, TransportFailureTest,
    ::testing::Values(
        FailureCase{"Refused", "refused", "/bytes/1", RequestFailed, ERROR_WINHTTP_CANNOT_CONNECT},
        FailureCase{"ResetBeforeResponse", "https", "/reset-before-response", RequestFailed,
                    ERROR_WINHTTP_CONNECTION_ERROR},
        FailureCase{"EmptyReply", "https", "/empty-reply", RequestFailed, ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
        FailureCase{"GarbageInsteadOfHttp", "https", "/garbage-http", RequestFailed,
                    ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
        FailureCase{"GarbageInsteadOfTls", "garbage", "/bytes/1", RequestFailed, ERROR_WINHTTP_SECURE_CHANNEL_ERROR},
        FailureCase{"ResetMidBody", "https", "/drop/4000000", StreamFailed, ERROR_WINHTTP_CONNECTION_ERROR},
        FailureCase{"LyingContentLength", "https", "/lying-length/4000000", StreamFailed,
                    ERROR_WINHTTP_CONNECTION_ERROR},
        FailureCase{"ChunkedCutShort", "https", "/chunked-truncated/100000", StreamFailed,
                    ERROR_WINHTTP_CONNECTION_ERROR}),
    [](const auto& naming) { return std::string(naming.param.name); });

// Certificates and protocols to refuse; each port serves the same paths as
// the good one, so a layer that let one through would download the body.
INSTANTIATE_TEST_SUITE_P(
    Tls, TransportFailureTest,
    ::testing::Values(
        FailureCase{"Expired", "expired", "/bytes/10", RequestFailed, ERROR_WINHTTP_SECURE_FAILURE},
        FailureCase{"WrongHost", "wrong_host", "/bytes/10", RequestFailed, ERROR_WINHTTP_SECURE_FAILURE},
        FailureCase{"SelfSigned", "self_signed", "/bytes/10", RequestFailed, ERROR_WINHTTP_SECURE_FAILURE},
        FailureCase{"UnknownRoot", "unknown_root", "/bytes/10", RequestFailed, ERROR_WINHTTP_SECURE_FAILURE},
        FailureCase{"MissingIntermediate", "missing_intermediate", "/bytes/10", RequestFailed,
                    ERROR_WINHTTP_SECURE_FAILURE},
        FailureCase{"Tls10Only", "tls10", "/bytes/10", RequestFailed, ERROR_WINHTTP_SECURE_CHANNEL_ERROR}),
    [](const auto& naming) { return std::string(naming.param.name); });

TEST(NameResolutionTest, UnknownHostIsNotResolved) {
    // .invalid never resolves (RFC 6761).
    const DownloadOutcome outcome = Download(L"https://no-such-host.invalid/latest.json");
    EXPECT_EQ(outcome.errorText, RequestFailed(ERROR_WINHTTP_NAME_NOT_RESOLVED));
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

TEST(TrustStoreTest, TheGoodChainPassesOnlyWithTheTestRootTrusted) {
    ReleaseServer();
    const std::string trusted = std::getenv("SSL_CERT_FILE");
    setenv("SSL_CERT_FILE", "/dev/null", 1);
    setenv("SSL_CERT_DIR", "/nonexistent", 1);
    const DownloadOutcome untrusted = Download(ServerUrl("https", "/bytes/10"));
    setenv("SSL_CERT_FILE", trusted.c_str(), 1);
    unsetenv("SSL_CERT_DIR");
    const DownloadOutcome accepted = Download(ServerUrl("https", "/bytes/10"));

    EXPECT_EQ(untrusted.errorText, RequestFailed(ERROR_WINHTTP_SECURE_FAILURE));
    EXPECT_TRUE(accepted.succeeded);
}

TEST(TlsAddressTest, IpAddressInTheCertificateIsAccepted) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/bytes/10", "127.0.0.1"));
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.body, PatternBytes(10));
}

}  // namespace
}  // namespace velto::test
