// DownloadHttps with addresses the layer's URL parser refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/windows_error_text.h"
#include "download_helpers.h"
#include "platform/win_api.h"

namespace velto::test {
namespace {

struct UrlCase {
    std::wstring url;
    DWORD error;
};

void PrintTo(const UrlCase& c, std::ostream* out) {
    *out << std::string(c.url.begin(), c.url.begin() + std::min<std::size_t>(c.url.size(), 40));
}

class InvalidUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(InvalidUrlTest, FailsTheParseWithTheWindowsText) {
    const DownloadOutcome outcome = Download(GetParam().url);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.errorText, kInvalidUrlPrefix + DescribeWindowsError(GetParam().error));
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, InvalidUrlTest,
    ::testing::Values(UrlCase{L"https://" + std::wstring(512, L'a') + L"/x", ERROR_INSUFFICIENT_BUFFER},
                      UrlCase{L"https://host/" + std::wstring(4095, L'a'), ERROR_INSUFFICIENT_BUFFER},
                      UrlCase{L"https:///nohost", ERROR_WINHTTP_INVALID_URL},
                      UrlCase{L"https://host:70000/", ERROR_WINHTTP_INVALID_URL}),
    [](const auto& naming) { return "Case" + std::to_string(naming.index); });

}  // namespace
}  // namespace velto::test
