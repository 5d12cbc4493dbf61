// The caller's limit bounds memory: against a body that never ends, the
// layer pauses the transfer instead of buffering, so the process grows by
// no more than the limit and a small constant.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "download_helpers.h"
#include "platform/win_api.h"
#include "release_server_environment.h"

namespace velto::test {
namespace {

// Room for libcurl's and OpenSSL's buffers and the sanitizers' bookkeeping;
// far below what buffering even a second of a loopback transfer would take.
constexpr long kConstantKiB = 16 * 1024;

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

TEST(MemoryBoundTest, EndlessBodyCostsNoMoreThanTheLimit) {
    ReleaseServer();
    Download(ServerUrl("https", "/bytes/10"));  // libraries initialised before measuring
    ResetPeakResidentSize();
    const long before = StatusFieldKiB("VmRSS");

    const DownloadOutcome outcome = Download(ServerUrl("https", "/endless"), kManifestLimit);
    const long growth = StatusFieldKiB("VmHWM") - before;
    RecordProperty("peak_growth_kib", std::to_string(growth));

    EXPECT_EQ(outcome.errorText, L"The downloaded file exceeded the safety size limit.");
    EXPECT_LE(outcome.body.size(), kManifestLimit);
    EXPECT_LT(growth, static_cast<long>(kManifestLimit / 1024) + kConstantKiB);
}

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
