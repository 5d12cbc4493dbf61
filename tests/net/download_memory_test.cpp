// The caller's limit bounds memory: against a body that never ends, the
// layer pauses the transfer instead of buffering, so the process grows by
// no more than the limit and a small constant. The body's buffer commits
// memory only as the body grows, gives back what lies past its last page
// once the body has ended, and a commit the system refuses ends the
// download cleanly.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "base/windows_error_text.h"
#include "download_helpers.h"
#include "platform/win_api.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

// Room for libcurl's and OpenSSL's buffers and the sanitizers' bookkeeping;
// far below what buffering even a second of a loopback transfer would take.
constexpr long kConstantKiB = 16 * 1024;
constexpr std::size_t kPage = 4096;

long StatusFieldKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Makes the peak resident size start again from the current one.
void ResetPeakResidentSize() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The bytes of buffer's storage that are committed: the writable mappings
// that /proc/self/maps lists within it.
std::size_t CommittedBytes(const ByteBuffer& buffer) {
    const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t end = start + buffer.capacity();
    std::ifstream maps("/proc/self/maps");
    std::string line;
    std::size_t committed = 0;
    while (std::getline(maps, line)) {
        std::uintptr_t from = 0;
        std::uintptr_t to = 0;
        char permissions[5] = {};
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " %4s", &from, &to, permissions) != 3) continue;
        const std::uintptr_t overlapStart = std::max(from, start);
        const std::uintptr_t overlapEnd = std::min(to, end);
        if (permissions[1] == 'w' && overlapStart < overlapEnd) committed += overlapEnd - overlapStart;
    }
    return committed;
}

// Holds the process's data size (what committing charges) to its current
// size plus headroomKiB, while it lives; 0 for no limit.
class DataLimit {
public:
    explicit DataLimit(long headroomKiB) {
        getrlimit(RLIMIT_DATA, &saved_);
        if (headroomKiB == 0) return;
        rlimit limited = saved_;
        limited.rlim_cur = static_cast<rlim_t>(StatusFieldKiB("VmData") + headroomKiB) * 1024;
        setrlimit(RLIMIT_DATA, &limited);
    }
    ~DataLimit() { setrlimit(RLIMIT_DATA, &saved_); }
    DataLimit(const DataLimit&) = delete;
    DataLimit& operator=(const DataLimit&) = delete;

private:
    rlimit saved_ = {};
};

struct MemoryCase {
    const char* name;
    std::string path;
    std::uint64_t limit;
    std::wstring errorText;  // empty: the download succeeds
    long peakGrowthKiB;      // resident growth stays below this and the constant
    long dataHeadroomKiB = 0;
};

class MemoryBound : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(MemoryBound, CommitsNoMoreThanTheBodyNeeds) {
    const MemoryCase& row = GetParam();
    ReleaseServer();
    Download(ServerUrl("https", "/bytes/10"));  // libraries initialised before measuring
    ResetPeakResidentSize();
    const long before = StatusFieldKiB("VmRSS");

    DownloadOutcome outcome;
    {
        const DataLimit limit(row.dataHeadroomKiB);
        outcome = Download(ServerUrl("https", row.path), row.limit);
    }
    const long growth = StatusFieldKiB("VmHWM") - before;
    RecordProperty("peak_growth_kib", std::to_string(growth));

    EXPECT_EQ(outcome.errorText, row.errorText);
    EXPECT_EQ(outcome.succeeded, row.errorText.empty());
    EXPECT_EQ(outcome.handlesLeftOpen, 0u);
    EXPECT_LE(outcome.body.capacity(), row.limit);
    const std::size_t committed = CommittedBytes(outcome.body);
    RecordProperty("committed_bytes", std::to_string(committed));
    RecordProperty("body_bytes", std::to_string(outcome.body.size()));
    RecordProperty("room_bytes", std::to_string(outcome.body.capacity()));
    if (outcome.succeeded) {
        EXPECT_EQ(committed, (outcome.body.size() + kPage - 1) / kPage * kPage) << "the rest was not given back";
    } else {
        EXPECT_LE(committed, row.limit);
    }
    EXPECT_LT(growth, row.peakGrowthKiB + kConstantKiB);
}

const std::wstring kOverLimit = kSizeLimitMessage;

INSTANTIATE_TEST_SUITE_P(
    Rows, MemoryBound,
    ::testing::Values(
        MemoryCase{"endless_body_manifest_limit", "/endless", kManifestSizeLimit, kOverLimit, kManifestSizeLimit / 1024},
        MemoryCase{"endless_body_over_several_steps", "/endless", 5 << 20, kOverLimit, 5 << 10},
        MemoryCase{"small_body_installer_limit", "/bytes/10", kInstallerSizeLimit, L"", 0},
        MemoryCase{"body_ending_within_a_step", "/bytes/3000000", kInstallerSizeLimit, L"", 3000000 / 1024},
        MemoryCase{"commit_refused", "/bytes/20000000", kInstallerSizeLimit,
                   kStreamFailedPrefix + DescribeWindowsError(ERROR_NOT_ENOUGH_MEMORY), 8 << 10, 8 << 10}),
    [](const ::testing::TestParamInfo<MemoryCase>& caseInfo) { return std::string(caseInfo.param.name); });

struct OpenRequest {
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    ~OpenRequest() {
        if (request != nullptr) WinHttpCloseHandle(request);
        if (connection != nullptr) WinHttpCloseHandle(connection);
        if (session != nullptr) WinHttpCloseHandle(session);
    }
};

TEST(MemoryBoundTest, UnreadBodyIsHeldBackNotBuffered) {
    const int port = ReleaseServer().Port("https");
    OpenRequest open;
    open.session = WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, nullptr, nullptr, 0);
    open.connection = WinHttpConnect(open.session, L"localhost", static_cast<INTERNET_PORT>(port), 0);
    open.request = WinHttpOpenRequest(open.connection, L"GET", L"/endless", nullptr, nullptr, nullptr,
                                      WINHTTP_FLAG_SECURE);
    ASSERT_TRUE(WinHttpSendRequest(open.request, nullptr, 0, nullptr, 0, 0, 0));
    ASSERT_TRUE(WinHttpReceiveResponse(open.request, nullptr));
    DWORD first = 0;
    ASSERT_TRUE(WinHttpQueryDataAvailable(open.request, &first));
    ResetPeakResidentSize();
    const long before = StatusFieldKiB("VmRSS");

    // The server would fill any buffer it is allowed to in this time.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    DWORD second = 0;
    ASSERT_TRUE(WinHttpQueryDataAvailable(open.request, &second));

    const long growth = StatusFieldKiB("VmHWM") - before;
    RecordProperty("peak_growth_kib", std::to_string(growth));
    RecordProperty("announced_bytes", std::to_string(first));
    EXPECT_GT(first, 0u);
    EXPECT_LE(first, 1024u * 1024u);
    EXPECT_EQ(second, first);  // nothing arrives while the chunk is unread
    EXPECT_LT(growth, kConstantKiB);
}

}  // namespace
}  // namespace velto::test
