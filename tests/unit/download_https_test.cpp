// The download's own logic against scripted WinHTTP operations and virtual
// memory: checks, arguments, failure messages, the body loop with its
// limit, the memory it commits, and the order in which handles are closed.
#include <gtest/gtest.h>

#include <algorithm>

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
    ByteBuffer body{'o', 'l', 'd'};
    std::wstring errorText = L"earlier text";
};

const std::vector<std::wstring> kAllClosed{L"close request", L"close connection", L"close session"};

TEST_F(DownloadHttpsTest, PassesTheArgumentsTheClientNeeds) {
    HttpScript().chunks = {{3, "abc"}};
    ASSERT_TRUE(Download());
    EXPECT_EQ(Calls(), (std::vector<std::wstring>{
                           L"crack " + kUrl + L" 0 0 host 512 path 4096",
                           L"open Velto Bootstrapper/1.0 4 (null) (null) 0",
                           L"timeouts 15000 15000 30000 30000",
                           L"connect release.test 443 0",
                           L"request GET /downloads/velto/update/latest.json (null) (null) default 8388608",
                           L"option 88 1 4",
                           L"send",
                           L"receive",
                           L"status",
                           L"release",
                           L"reserve 131072",
                           L"available",
                           L"commit 0 131072",
                           L"read 3",
                           L"available",
                           L"decommit 4096 126976",
                           L"close request",
                           L"close connection",
                           L"close session"}));
    EXPECT_EQ(body, (ByteBuffer{'a', 'b', 'c'}));
    EXPECT_EQ(errorText, L"earlier text");
}

TEST_F(DownloadHttpsTest, EmptyPathRequestsTheRoot) {
    HttpScript().path.clear();
    ASSERT_TRUE(Download());
    EXPECT_EQ(Calls()[4], L"request GET / (null) (null) default 8388608");
}

class RefusedUrl : public DownloadHttpsTest, public ::testing::WithParamInterface<std::wstring> {};

TEST_P(RefusedUrl, BeforeAnyPlatformCall) {
    EXPECT_FALSE(Download(131072, GetParam()));
    EXPECT_EQ(errorText, L"Velto refused a non-HTTPS download URL.");
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
        FailureCase{"crack", [](WinHttpScript& s) { s.crackError = 12005; }, L"Invalid release URL: Windows error 12005", {}},
        FailureCase{"long_host", [](WinHttpScript& s) { s.host.assign(512, L'h'); }, L"Invalid release URL: " + DescribeWindowsError(122), {}},
        FailureCase{"scheme", [](WinHttpScript& s) { s.scheme = INTERNET_SCHEME_HTTP; }, L"Velto requires HTTPS for release downloads.", {}},
        FailureCase{"open", [](WinHttpScript& s) { s.openError = 12001; }, L"Could not initialize the Windows HTTP client: Windows error 12001", {}},
        FailureCase{"connect", [](WinHttpScript& s) { s.connectError = 12007; },
                    L"Could not connect to the Velto download server: Windows error 12007", {L"close session"}},
        FailureCase{"request", [](WinHttpScript& s) { s.requestError = 12004; },
                    L"Could not create the download request: Windows error 12004", {L"close connection", L"close session"}},
        FailureCase{"send", [](WinHttpScript& s) { s.sendError = 12029; }, L"The Velto download request failed: Windows error 12029", kAllClosed},
        FailureCase{"receive", [](WinHttpScript& s) { s.receiveError = 12175; }, L"The Velto download request failed: Windows error 12175", kAllClosed},
        FailureCase{"status_query", [](WinHttpScript& s) { s.queryHeadersError = 12150; }, L"Could not read the HTTP response status.", kAllClosed},
        FailureCase{"status_404", [](WinHttpScript& s) { s.status = 404; }, L"The Velto server returned HTTP 404.", kAllClosed},
        FailureCase{"status_199", [](WinHttpScript& s) { s.status = 199; }, L"The Velto server returned HTTP 199.", kAllClosed},
        FailureCase{"status_300", [](WinHttpScript& s) { s.status = 300; }, L"The Velto server returned HTTP 300.", kAllClosed},
        FailureCase{"status_302", [](WinHttpScript& s) { s.status = 302; }, L"The Velto server returned HTTP 302.", kAllClosed},
        FailureCase{"status_huge", [](WinHttpScript& s) { s.status = 4294967295u; }, L"The Velto server returned HTTP 4294967295.", kAllClosed},
        FailureCase{"available", [](WinHttpScript& s) { s.chunks = {{0, "", 12030}}; },
                    L"Could not read the download stream: Windows error 12030", kAllClosed},
        FailureCase{"read", [](WinHttpScript& s) { s.chunks = {{4, "abcd", 0, 12002}}; },
                    L"Could not read the download stream: Windows error 12002", kAllClosed},
        FailureCase{"limit", [](WinHttpScript& s) { s.chunks = {{131072, std::string(131072, 'x')}, {1, "y"}}; },
                    L"The downloaded file exceeded the safety size limit.", kAllClosed},
        FailureCase{"reserve", [](WinHttpScript& s) { s.reserveError = ERROR_NOT_ENOUGH_MEMORY; s.chunks = {{3, "abc"}}; },
                    L"Could not read the download stream: " + DescribeWindowsError(ERROR_NOT_ENOUGH_MEMORY), kAllClosed},
        FailureCase{"commit", [](WinHttpScript& s) { s.commitError = ERROR_NOT_ENOUGH_MEMORY; s.chunks = {{3, "abc"}}; },
                    L"Could not read the download stream: " + DescribeWindowsError(ERROR_NOT_ENOUGH_MEMORY), kAllClosed},
        FailureCase{"later_commit",
                    [](WinHttpScript& s) {
                        s.commitError = 1455;  // ERROR_COMMITMENT_LIMIT
                        s.commitsBeforeError = 1;
                        s.chunks = {{2097152, std::string(2097152, 'x')}, {1, "y"}};
                    },
                    L"Could not read the download stream: " + DescribeWindowsError(1455), kAllClosed, 268435456}),
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
    EXPECT_EQ(errorText, L"The downloaded file exceeded the safety size limit.");
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

namespace {

class ByteBufferStorage : public ::testing::Test {
protected:
    void SetUp() override { ResetHttpScript(); }
    void TearDown() override { ResetHttpScript(); }
};

TEST_F(ByteBufferStorage, GrowsInPlaceAndKeepsItsBytes) {
    ByteBuffer bytes;
    ASSERT_TRUE(bytes.ReserveRoom((std::size_t{5} << 20) + 3));
    const std::uint8_t* start = bytes.data();
    for (std::size_t size : {std::size_t{100}, std::size_t{1} << 20, (std::size_t{5} << 20) + 3}) {
        const std::size_t before = bytes.size();
        ASSERT_TRUE(bytes.ResizeWithinRoom(size));
        for (std::size_t i = before; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    EXPECT_EQ(bytes.data(), start) << "the bytes moved";
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], i % 251) << i;
    EXPECT_FALSE(bytes.ResizeWithinRoom(bytes.capacity() + 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(bytes.size(), (std::size_t{5} << 20) + 3);
    ByteBuffer().swap(bytes);
    EXPECT_EQ(bytes.capacity(), 0u);
    EXPECT_EQ(HttpScript().calls.back(), L"release");
}

TEST_F(ByteBufferStorage, CopiesAndAssignmentsHoldTheirOwnBytes) {
    ByteBuffer original{'M', 'Z', 0};
    ByteBuffer copy = original;
    copy[0] = 'X';
    EXPECT_EQ(original, (ByteBuffer{'M', 'Z', 0}));
    const std::string text = "text";
    copy.assign(text.begin(), text.end());
    EXPECT_EQ(std::string(copy.begin(), copy.end()), "text");
    copy.assign(3, 0x42);
    EXPECT_EQ(copy, ByteBuffer(3, 0x42));
    EXPECT_EQ(copy.capacity(), 3u);
    EXPECT_NE(copy, original);
}

TEST_F(ByteBufferStorage, MemoryThatCannotBeHadIsAResultOrTheStandardAllocationFailure) {
    ByteBuffer bytes{1, 2, 3};
    HttpScript().reserveError = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_FALSE(bytes.ReserveRoom(4096));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(bytes.capacity(), 0u);
    EXPECT_THROW(ByteBuffer(16), std::bad_alloc);

    HttpScript().reserveError = 0;
    HttpScript().commitError = ERROR_NOT_ENOUGH_MEMORY;
    HttpScript().commitsBeforeError = HttpScript().commits;
    const std::size_t reservations = std::count(HttpScript().calls.begin(), HttpScript().calls.end(), L"reserve 16");
    EXPECT_THROW(ByteBuffer(16), std::bad_alloc);
    EXPECT_EQ(HttpScript().calls.back(), L"release") << "a failed commit gives its reservation back";
    EXPECT_EQ(std::count(HttpScript().calls.begin(), HttpScript().calls.end(), L"reserve 16"), reservations + 1);
}

}  // namespace
