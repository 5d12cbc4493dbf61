// DownloadHttps over the real layer against the local server: statuses,
// bodies of every shape, and the size limit.
#include <gtest/gtest.h>

#include "download_helpers.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

struct StatusCase {
    int code;
    bool accepted;
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << c.code;
}

class StatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTest, OnlyTwoHundredsAreAccepted) {
    const StatusCase& c = GetParam();
    const DownloadOutcome outcome = Download(ServerUrl("https", "/status/" + std::to_string(c.code)));
    EXPECT_EQ(outcome.succeeded, c.accepted);
    if (c.accepted) {
        EXPECT_TRUE(outcome.errorText.empty());
    } else {
        EXPECT_EQ(outcome.errorText, ServerStatus(c.code));
    }
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(Statuses, StatusTest,
                         ::testing::Values(StatusCase{200, true}, StatusCase{204, true}, StatusCase{299, true},
                                           StatusCase{300, false}, StatusCase{302, false}, StatusCase{304, false},
                                           StatusCase{404, false}, StatusCase{500, false}),
                         [](const auto& naming) { return std::to_string(naming.param.code); });

TEST(InterimResponseTest, FinalStatusAfterAnInterimOneCounts) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/status/199"));
    ASSERT_TRUE(outcome.succeeded) << std::string(outcome.errorText.begin(), outcome.errorText.end());
    EXPECT_EQ(std::string(outcome.body.begin(), outcome.body.end()), "after 199");
}

TEST(EmptyBodyTest, NoContentGivesAnEmptyBuffer) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/status/204"), kManifestSizeLimit, {1, 2, 3});
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_TRUE(outcome.body.empty());
}

struct BodyCase {
    std::string path;
    std::size_t length;
};

void PrintTo(const BodyCase& c, std::ostream* out) {
    *out << c.path;
}

class BodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(BodyTest, ArrivesWholeAndInOrder) {
    const DownloadOutcome outcome = Download(ServerUrl("https", GetParam().path), kInstallerSizeLimit);
    ASSERT_TRUE(outcome.succeeded) << std::string(outcome.errorText.begin(), outcome.errorText.end());
    EXPECT_EQ(outcome.body, PatternBytes(GetParam().length));
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(Bodies, BodyTest,
                         ::testing::Values(BodyCase{"/bytes/0", 0}, BodyCase{"/bytes/1", 1},
                                           BodyCase{"/bytes/16385", 16385}, BodyCase{"/bytes/3000001", 3000001},
                                           BodyCase{"/chunked/100000", 100000},
                                           BodyCase{"/chunked/70000?sizes=1", 70000},
                                           BodyCase{"/chunked/1234567?sizes=524289,3,1048576", 1234567}),
                         [](const auto& naming) { return "Case" + std::to_string(naming.index); });

struct LimitCase {
    std::string path;
    bool accepted;
};

void PrintTo(const LimitCase& c, std::ostream* out) {
    *out << c.path;
}

class SizeLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(SizeLimitTest, BodyOfTheLimitPassesOneByteMoreFails) {
    const DownloadOutcome outcome = Download(ServerUrl("https", GetParam().path), kManifestSizeLimit);
    EXPECT_EQ(outcome.succeeded, GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(outcome.body.size(), kManifestSizeLimit);
    } else {
        EXPECT_EQ(outcome.errorText, kSizeLimitMessage);
        EXPECT_LE(outcome.body.size(), kManifestSizeLimit);
    }
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
}

INSTANTIATE_TEST_SUITE_P(Limits, SizeLimitTest,
                         ::testing::Values(LimitCase{"/bytes/131072", true}, LimitCase{"/bytes/131073", false},
                                           LimitCase{"/chunked/131072?sizes=1000", true},
                                           LimitCase{"/chunked/131073?sizes=1000", false},
                                           LimitCase{"/bytes/1073741824", false}),
                         [](const auto& naming) { return "Case" + std::to_string(naming.index); });

TEST(BufferTest, FailureBeforeTheStatusKeepsTheCallersBytes) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/status/404"), kManifestSizeLimit, {7, 8, 9});
    ASSERT_FALSE(outcome.succeeded);
    EXPECT_EQ(outcome.body, (ByteBuffer{7, 8, 9}));
}

TEST(BufferTest, AcceptedStatusReplacesTheCallersBytes) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/bytes/5"), kManifestSizeLimit, {7, 8, 9});
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(outcome.body, PatternBytes(5));
}

TEST(RequestTest, SendsTheAgentAndTheQueryButNoFragmentOrAccept) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/echo-request?a=b%20c#fragment"));
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(std::string(outcome.body.begin(), outcome.body.end()),
              "/echo-request?a=b%20c\nVelto Bootstrapper/1.0\n-");
}

TEST(ReleaseFileTest, ServesTheReleaseTree) {
    const DownloadOutcome outcome = Download(ServerUrl("https", "/downloads/velto/update/latest.json"));
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(std::string(outcome.body.begin(), outcome.body.end()), kReleaseManifestText);
}

TEST(ReleaseFileTest, NothingOutsideTheTree) {
    for (const char* path : {"/downloads/velto/update/missing.json", "/..%2F..%2F..%2Fetc%2Fpasswd"}) {
        const DownloadOutcome outcome = Download(ServerUrl("https", path));
        EXPECT_EQ(outcome.errorText, ServerStatus(404)) << path;
    }
}

}  // namespace
}  // namespace velto::test
