// The download's own logic against scripted WinHTTP operations and virtual
// memory: HTTPS only, the redirect policy, the time-outs, failure messages,
// the body loop with its limit, the memory it commits, and the order in
// which handles are closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>

#include "base/windows_error_text.h"
#include "fakes/fake_winhttp.h"
#include "net/download_https.h"

namespace {

const std::wstring kUrl = L"https://release.test/downloads/velto/update/latest.json";

class DownloadHttpsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetHttpScript(); }
    // The next test's buffer is made before its SetUp.
    void TearDown() override { ResetHttpScript(); }
    bool Download(std::uint64_t limit = 131072, const std::wstring& url = kUrl) {
        return DownloadHttps(url, body, limit, errorText);
    }
    std::vector<std::wstring>& Calls() { return HttpScript().calls; }
    std::vector<std::wstring> LastCalls(std::size_t count) {
        return std::vector<std::wstring>(Calls().end() - static_cast<std::ptrdiff_t>(count), Calls().end());
    }
    // Where the first call to the operation came, and the words recorded
    // for it (the operation's name first, then the arguments that matter).
    std::size_t Position(const std::wstring& operation) {
        return std::find_if(Calls().begin(), Calls().end(),
                            [&](const std::wstring& call) { return call.rfind(operation + L" ", 0) == 0; }) -
               Calls().begin();
    }
    std::vector<std::wstring> Words(const std::wstring& operation) {
        std::wistringstream call(Position(operation) < Calls().size() ? Calls()[Position(operation)] : L"");
        return {std::istream_iterator<std::wstring, wchar_t>(call), std::istream_iterator<std::wstring, wchar_t>()};
    }
    ByteBuffer body{'o', 'l', 'd'};
    std::wstring errorText = L"earlier text";
};

const std::vector<std::wstring> kAllClosed{L"close request", L"close connection", L"close session"};

std::wstring Status(unsigned status) { return kServerStatusPrefix + std::to_wstring(status) + L"."; }

// What the client is asked for, not every argument of every call: a GET
// of the URL's path over TLS to its host and port, redirects that never go
// from HTTPS to plain HTTP and no other option, finite time-outs on the
// session before it connects, room for the limit and no more, and the
// handles closed in reverse order.
TEST_F(DownloadHttpsTest, PassesTheArgumentsTheClientNeeds) {
    HttpScript().chunks = {{3, "abc"}};
    ASSERT_TRUE(Download());
    const std::vector<std::wstring> request = Words(L"request");
    ASSERT_EQ(request.size(), 7u);
    EXPECT_EQ(request[1] + L" " + request[2], L"GET /downloads/velto/update/latest.json");
    EXPECT_NE(std::stoul(request[6]) & WINHTTP_FLAG_SECURE, 0u) << "over TLS";
    EXPECT_EQ(Words(L"connect"), (std::vector<std::wstring>{L"connect", L"release.test", L"443", L"0"}));
    EXPECT_EQ(Words(L"option"),
              (std::vector<std::wstring>{L"option", std::to_wstring(WINHTTP_OPTION_REDIRECT_POLICY),
                                         std::to_wstring(WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP), L"4"}));
    EXPECT_EQ(std::count_if(Calls().begin(), Calls().end(),
                            [](const std::wstring& call) { return call.rfind(L"option ", 0) == 0; }), 1)
        << "no other option relaxes the platform's checks";
    EXPECT_LT(Position(L"option"), Position(L"send"));
    const std::vector<std::wstring> timeouts = Words(L"timeouts");
    ASSERT_EQ(timeouts.size(), 5u) << "on the session";
    for (std::size_t i = 1; i < timeouts.size(); ++i) {
        EXPECT_GT(std::stoi(timeouts[i]), 0) << "0 waits for ever";
        EXPECT_LE(std::stoi(timeouts[i]), 60000) << "a stalled server ends the run within a minute";
    }
    EXPECT_LT(Position(L"timeouts"), Position(L"connect"));
    EXPECT_EQ(Words(L"reserve"), (std::vector<std::wstring>{L"reserve", L"131072"}));
    EXPECT_EQ(LastCalls(3), kAllClosed);
    EXPECT_EQ(body, (ByteBuffer{'a', 'b', 'c'}));
    EXPECT_EQ(errorText, L"earlier text");
}

TEST_F(DownloadHttpsTest, EmptyPathRequestsTheRoot) {
    HttpScript().path.clear();
    ASSERT_TRUE(Download());
    EXPECT_EQ(Words(L"request")[2], L"/");
}

class RefusedUrl : public DownloadHttpsTest, public ::testing::WithParamInterface<std::wstring> {};

TEST_P(RefusedUrl, BeforeAnyPlatformCall) {
    EXPECT_FALSE(Download(131072, GetParam()));
    EXPECT_EQ(errorText, kNotHttpsUrlMessage);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(body, (ByteBuffer{'o', 'l', 'd'}));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedUrl,
                         ::testing::Values(L"", L"https:/", L"http://release.test/x", L" https://release.test/x",
                                           L"ftp://release.test/xyz", L"https:\\\\release.test"));

TEST_F(DownloadHttpsTest, PrefixIsComparedWithoutRegardToCase) {
    EXPECT_TRUE(Download(131072, L"HTTPS://RELEASE.TEST/x"));
    EXPECT_TRUE(Download(131072, L"hTtPs://release.test/x"));
}

struct FailureCase {
    const char* name;
    void (*arrange)(WinHttpScript&);
    std::wstring message;
    std::vector<std::wstring> closed;
    std::uint64_t limit = 131072;
};

class Failure : public DownloadHttpsTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failure, SetsItsMessageAndClosesWhatWasOpened) {
    GetParam().arrange(HttpScript());
    EXPECT_FALSE(Download(GetParam().limit));
    EXPECT_EQ(errorText, GetParam().message);
    const auto& closed = GetParam().closed;
    std::vector<std::wstring> closes;
    for (const std::wstring& call : Calls()) {
        if (call.rfind(L"close", 0) == 0) closes.push_back(call);
    }
    EXPECT_EQ(closes, closed);
    if (!closed.empty()) {
        EXPECT_EQ(LastCalls(closed.size()), closed);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Failure,
    ::testing::Values(
        FailureCase{"crack", [](WinHttpScript& s) { s.crackError = 12005; }, kInvalidUrlPrefix + DescribeWindowsError(12005), {}},
        FailureCase{"long_host", [](WinHttpScript& s) { s.host.assign(512, L'h'); }, kInvalidUrlPrefix + DescribeWindowsError(122), {}},
        FailureCase{"scheme", [](WinHttpScript& s) { s.scheme = INTERNET_SCHEME_HTTP; }, kHttpsRequiredMessage, {}},
        FailureCase{"open", [](WinHttpScript& s) { s.openError = 12001; }, kClientFailedPrefix + DescribeWindowsError(12001), {}},
        FailureCase{"connect", [](WinHttpScript& s) { s.connectError = 12007; },
                    kConnectFailedPrefix + DescribeWindowsError(12007), {L"close session"}},
        FailureCase{"request", [](WinHttpScript& s) { s.requestError = 12004; },
                    kRequestNotCreatedPrefix + DescribeWindowsError(12004), {L"close connection", L"close session"}},
        FailureCase{"send", [](WinHttpScript& s) { s.sendError = 12029; }, kRequestFailedPrefix + DescribeWindowsError(12029), kAllClosed},
        FailureCase{"receive", [](WinHttpScript& s) { s.receiveError = 12175; }, kRequestFailedPrefix + DescribeWindowsError(12175), kAllClosed},
        FailureCase{"status_query", [](WinHttpScript& s) { s.queryHeadersError = 12150; }, kStatusUnreadMessage, kAllClosed},
        FailureCase{"status_404", [](WinHttpScript& s) { s.status = 404; }, Status(404), kAllClosed},
        FailureCase{"status_199", [](WinHttpScript& s) { s.status = 199; }, Status(199), kAllClosed},
        FailureCase{"status_300", [](WinHttpScript& s) { s.status = 300; }, Status(300), kAllClosed},
        FailureCase{"status_302", [](WinHttpScript& s) { s.status = 302; }, Status(302), kAllClosed},
        FailureCase{"status_huge", [](WinHttpScript& s) { s.status = 4294967295u; }, Status(4294967295u), kAllClosed},
        FailureCase{"available", [](WinHttpScript& s) { s.chunks = {{0, "", 12030}}; },
                    kStreamFailedPrefix + DescribeWindowsError(12030), kAllClosed},
        FailureCase{"read", [](WinHttpScript& s) { s.chunks = {{4, "abcd", 0, 12002}}; },
                    kStreamFailedPrefix + DescribeWindowsError(12002), kAllClosed},
        FailureCase{"limit", [](WinHttpScript& s) { s.chunks = {{131072, std::string(131072, 'x')}, {1, "y"}}; },
                    kSizeLimitMessage, kAllClosed},
        FailureCase{"reserve", [](WinHttpScript& s) { s.reserveError = ERROR_NOT_ENOUGH_MEMORY; s.chunks = {{3, "abc"}}; },
                    kStreamFailedPrefix + DescribeWindowsError(ERROR_NOT_ENOUGH_MEMORY), kAllClosed},
        FailureCase{"commit", [](WinHttpScript& s) { s.commitError = ERROR_NOT_ENOUGH_MEMORY; s.chunks = {{3, "abc"}}; },
                    kStreamFailedPrefix + DescribeWindowsError(ERROR_NOT_ENOUGH_MEMORY), kAllClosed},
        FailureCase{"later_commit",
                    [](WinHttpScript& s) {
                        s.commitError = 1455;  // ERROR_COMMITMENT_LIMIT
                        s.commitsBeforeError = 1;
                        s.chunks = {{2097152, std::string(2097152, 'x')}, {1, "y"}};
                    },
                    kStreamFailedPrefix + DescribeWindowsError(1455), kAllClosed, 268435456}),
    [](const ::testing::TestParamInfo<FailureCase>& caseInfo) { return std::string(caseInfo.param.name); });

class AcceptedStatus : public DownloadHttpsTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(AcceptedStatus, ReadsTheBody) {
    HttpScript().status = GetParam();
    EXPECT_TRUE(Download());
    EXPECT_TRUE(body.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, AcceptedStatus, ::testing::Values(200u, 204u, 299u));

TEST_F(DownloadHttpsTest, BufferKeepsItsBytesWhenTheStatusIsRefused) {
    HttpScript().status = 500;
    EXPECT_FALSE(Download());
    EXPECT_EQ(body, (ByteBuffer{'o', 'l', 'd'}));
}

TEST_F(DownloadHttpsTest, ChunksAreAppendedInOrder) {
    HttpScript().chunks = {{2, "ab"}, {5, "cdefg"}, {1, "h"}};
    ASSERT_TRUE(Download());
    EXPECT_EQ(std::string(body.begin(), body.end()), "abcdefgh");
}

TEST_F(DownloadHttpsTest, ShortReadKeepsOnlyTheBytesRead) {
    HttpScript().chunks = {{6, "abc"}, {2, "de"}};
    ASSERT_TRUE(Download());
    EXPECT_EQ(std::string(body.begin(), body.end()), "abcde");
}

TEST_F(DownloadHttpsTest, BodyOfExactlyTheLimitIsAccepted) {
    HttpScript().chunks = {{100, std::string(100, 'a')}, {28, std::string(28, 'b')}};
    ASSERT_TRUE(Download(128));
    EXPECT_EQ(body.size(), 128u);
    EXPECT_LE(body.capacity(), 128u);
}

TEST_F(DownloadHttpsTest, ChunkPassingTheLimitIsRefusedBeforeItIsRead) {
    HttpScript().chunks = {{100, std::string(100, 'a')}, {29, std::string(29, 'b')}};
    EXPECT_FALSE(Download(128));
    EXPECT_EQ(errorText, kSizeLimitMessage);
    EXPECT_EQ(std::count(Calls().begin(), Calls().end(), L"read 29"), 0);
    EXPECT_EQ(body.size(), 100u);
}

TEST_F(DownloadHttpsTest, FirstChunkAloneOverTheLimitIsNeverRead) {
    HttpScript().chunks = {{4097, std::string(4097, 'a')}};
    EXPECT_FALSE(Download(4096));
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(LastCalls(4), (std::vector<std::wstring>{L"available", L"close request", L"close connection", L"close session"}));
}

// Room for the whole limit is reserved at once and committed in 2 MiB
// steps as the body grows, never past the limit; once the body has ended,
// what lies past its last page is given back.
struct MemoryCase {
    const char* name;
    std::uint64_t limit;
    std::vector<FakeChunk> chunks;
    bool succeeds;
    std::vector<std::wstring> memoryCalls;
};

class BodyMemory : public DownloadHttpsTest, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(BodyMemory, IsCommittedAsTheBodyGrows) {
    HttpScript().chunks = GetParam().chunks;
    EXPECT_EQ(Download(GetParam().limit), GetParam().succeeds) << ::testing::PrintToString(errorText);
    std::vector<std::wstring> memoryCalls;
    for (const std::wstring& call : Calls()) {
        for (const wchar_t* kind : {L"reserve", L"commit", L"decommit", L"release"}) {
            if (call.rfind(kind, 0) == 0) memoryCalls.push_back(call);
        }
    }
    EXPECT_EQ(memoryCalls, GetParam().memoryCalls);
    EXPECT_LE(body.capacity(), GetParam().limit);
}

const std::string kStep(2097152, 's');

INSTANTIATE_TEST_SUITE_P(
    Rows, BodyMemory,
    ::testing::Values(
        MemoryCase{"empty_body_commits_nothing", 131072, {}, true, {L"release", L"reserve 131072"}},
        MemoryCase{"manifest_room_is_one_step", 131072, {{131072, std::string(131072, 'm')}}, true,
                   {L"release", L"reserve 131072", L"commit 0 131072"}},
        MemoryCase{"early_end_releases_the_rest", 268435456, {{3, "abc"}}, true,
                   {L"release", L"reserve 268435456", L"commit 0 2097152", L"decommit 4096 2093056"}},
        MemoryCase{"steps_follow_the_body", 268435456, {{2097152, kStep}, {1, "b"}}, true,
                   {L"release", L"reserve 268435456", L"commit 0 2097152", L"commit 2097152 2097152",
                    L"decommit 2101248 2093056"}},
        MemoryCase{"last_step_stops_at_the_limit", 3145728, {{2097152, kStep}, {1048576, std::string(1048576, 'l')}},
                   true, {L"release", L"reserve 3145728", L"commit 0 2097152", L"commit 2097152 1048576"}},
        MemoryCase{"refused_chunk_commits_nothing", 3145728, {{2097152, kStep}, {1048577, std::string(1048577, 'r')}},
                   false, {L"release", L"reserve 3145728", L"commit 0 2097152"}}),
    [](const ::testing::TestParamInfo<MemoryCase>& caseInfo) { return std::string(caseInfo.param.name); });

}  // namespace
