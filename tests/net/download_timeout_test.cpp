// WinHTTP's time-outs with their Windows meaning, in real time: connecting
// is bounded by the connect time-out (15 s), a send or receive that makes
// no progress for 30 s fails with ERROR_WINHTTP_TIMEOUT, and a transfer
// that keeps making progress is never cut off, however long it takes.
#include <gtest/gtest.h>

#include <chrono>

#include "download_helpers.h"
#include "platform/win_api.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

using Seconds = std::chrono::duration<double>;

struct TimeoutCase {
    const char* name;
    std::string port;
    std::string path;
    std::wstring expectedError;  // empty: success
    double atLeastSeconds;
    double atMostSeconds;
};

void PrintTo(const TimeoutCase& c, std::ostream* out) {
    *out << c.name;
}

class TimeoutTest : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(TimeoutTest, EndsWhenWindowsWould) {
    const TimeoutCase& c = GetParam();
    const std::wstring url = ServerUrl(c.port, c.path);
    const auto start = std::chrono::steady_clock::now();
    const DownloadOutcome outcome = Download(url);
    const double elapsed = Seconds(std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ(outcome.errorText, c.expectedError);
    EXPECT_EQ(outcome.succeeded, c.expectedError.empty());
    EXPECT_GE(elapsed, c.atLeastSeconds);
    EXPECT_LE(elapsed, c.atMostSeconds);
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, TimeoutTest,
    ::testing::Values(
        TimeoutCase{"ConnectNeverCompletes", "backlog_full", "/bytes/1", RequestFailed(ERROR_WINHTTP_TIMEOUT), 14.5,
                    25},
        TimeoutCase{"TlsHandshakeNeverAnswered", "silent", "/bytes/1", RequestFailed(ERROR_WINHTTP_TIMEOUT), 29.5,
                    45},
        TimeoutCase{"ResponseNeverComes", "https", "/hang", RequestFailed(ERROR_WINHTTP_TIMEOUT), 29.5, 45},
        TimeoutCase{"BodyStalls", "https", "/stall/5000", StreamFailed(ERROR_WINHTTP_TIMEOUT), 29.5, 45},
        TimeoutCase{"SlowDripOutlastsTheTimeout", "https", "/drip/12?interval_ms=3000", L"", 33, 60}),
    [](const auto& naming) { return std::string(naming.param.name); });

}  // namespace
}  // namespace velto::test
