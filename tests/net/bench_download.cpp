// Throughput of DownloadHttps over the real layer, for scripts/bench-download.
//
//   bench_download URL            DownloadHttps into a fresh buffer
//   bench_download URL --layer    the layer alone: WinHttpQueryDataAvailable
//                                 and WinHttpReadData into one fixed buffer
//
// Prints "<bytes> <seconds> <MiB/s>"; exits non-zero when the download fails.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/download_https.h"
#include "platform/win_api.h"

namespace {

constexpr std::uint64_t kInstallerSizeLimit = 268435456;

bool DownloadWithDownloadHttps(const std::wstring& url, std::size_t& bytes) {
    ByteBuffer body;
    std::wstring errorText;
    const bool ok = DownloadHttps(url, body, kInstallerSizeLimit, errorText);
    if (!ok) std::fprintf(stderr, "download failed: %ls\n", errorText.c_str());
    bytes = body.size();
    return ok;
}

bool ReadWithLayer(HINTERNET request, std::size_t& bytes) {
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) return false;
        if (available == 0) return true;
        DWORD read = 0;
        const DWORD wanted = std::min<DWORD>(available, static_cast<DWORD>(buffer.size()));
        if (!WinHttpReadData(request, buffer.data(), wanted, &read)) return false;
        bytes += read;
    }
}

bool DownloadWithLayer(const std::wstring& url, std::size_t& bytes) {
    wchar_t host[512] = {};
    wchar_t path[4096] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 512;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", path, nullptr, nullptr, nullptr, WINHTTP_FLAG_SECURE);
    const bool ok = WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) &&
                    WinHttpReceiveResponse(request, nullptr) && ReadWithLayer(request, bytes);
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    if (!ok) std::fprintf(stderr, "download failed: Windows error %u\n", GetLastError());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL [--layer]\n", argv[0]);
        return 2;
    }
    const std::string text = argv[1];
    const std::wstring url(text.begin(), text.end());
    const bool layerOnly = argc > 2 && std::strcmp(argv[2], "--layer") == 0;
    std::size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = layerOnly ? DownloadWithLayer(url, bytes) : DownloadWithDownloadHttps(url, bytes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) return 1;
    std::printf("%zu %.6f %.1f\n", bytes, seconds, static_cast<double>(bytes) / seconds / 1048576.0);
    return 0;
}
