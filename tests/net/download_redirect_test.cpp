// Redirects: followed from HTTPS to HTTPS, absolute or relative, up to
// WinHTTP's ten; never from HTTPS to plain HTTP, where the 3xx stays the
// final response.
#include <gtest/gtest.h>

#include "download_helpers.h"
#include "platform/win_api.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

std::string HttpsTarget(const std::string& path) {
    return "https://localhost:" + std::to_string(ReleaseServer().Port("https")) + path;
}

std::string PlainHttpTarget(const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(ReleaseServer().Port("http")) + path;
}

struct RedirectCase {
    const char* name;
    std::string (*path)();
    std::wstring expectedError;  // empty: success with 77 pattern bytes
};

void PrintTo(const RedirectCase& c, std::ostream* out) {
    *out << c.name;
}

class RedirectTest : public ::testing::TestWithParam<RedirectCase> {};

TEST_P(RedirectTest, FollowsOnlyWhatItMay) {
    const DownloadOutcome outcome = Download(ServerUrl("https", GetParam().path()));
    EXPECT_EQ(outcome.errorText, GetParam().expectedError);
    if (GetParam().expectedError.empty()) {
        EXPECT_TRUE(outcome.succeeded);
        EXPECT_EQ(outcome.body, PatternBytes(77));
    }
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Redirects, RedirectTest,
    ::testing::Values(
        RedirectCase{"Relative302", [] { return std::string("/redirect/302?to=/bytes/77"); }, L""},
        RedirectCase{"RelativeWithoutSlash", [] { return std::string("/redirect/301?to=../bytes/77"); }, L""},
        RedirectCase{"Absolute301", [] { return "/redirect/301?to=" + HttpsTarget("/bytes/77"); }, L""},
        RedirectCase{"Absolute303", [] { return "/redirect/303?to=" + HttpsTarget("/bytes/77"); }, L""},
        RedirectCase{"Absolute307", [] { return "/redirect/307?to=" + HttpsTarget("/bytes/77"); }, L""},
        RedirectCase{"Absolute308", [] { return "/redirect/308?to=" + HttpsTarget("/bytes/77"); }, L""},
        RedirectCase{"ToPlainHttpIsFinal302",
                     [] { return "/redirect/302?to=" + PlainHttpTarget("/bytes/77"); },
                     ServerStatus(302)},
        RedirectCase{"ToPlainHttpIsFinal301",
                     [] { return "/redirect/301?to=" + PlainHttpTarget("/bytes/77"); },
                     ServerStatus(301)},
        RedirectCase{"ToRefusedCertificate",
                     [] {
                         return "/redirect/302?to=https://localhost:" +
                                std::to_string(ReleaseServer().Port("self_signed")) + "/bytes/77";
                     },
                     RequestFailed(ERROR_WINHTTP_SECURE_FAILURE)},
        RedirectCase{"Loop", [] { return std::string("/redirect-loop"); },
                     RequestFailed(ERROR_WINHTTP_REDIRECT_FAILED)}),
    [](const auto& naming) { return std::string(naming.param.name); });

TEST(RedirectChainTest, TenRedirectsAreFollowed) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/redirect-chain/10"));
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(std::string(outcome.body.begin(), outcome.body.end()), "chain end");
}

TEST(RedirectChainTest, EleventhRedirectFails) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/redirect-chain/11"));
    EXPECT_EQ(outcome.errorText, RequestFailed(ERROR_WINHTTP_REDIRECT_FAILED));
}

}  // namespace
}  // namespace velto::test
