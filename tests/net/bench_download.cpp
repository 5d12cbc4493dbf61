// Throughput of DownloadHttps over the real layer, for scripts/bench-download.
// Usage: bench_download URL [RUNS]. Prints one line per run:
// "<bytes> <seconds> <MiB/s>"; exits non-zero when a download fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/download_https.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    constexpr std::uint64_t kInstallerLimit = 268435456;
    for (int run = 0; run < runs; ++run) {
        ByteBuffer body;
        std::wstring errorText;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = DownloadHttps(std::wstring(url.begin(), url.end()), body, kInstallerLimit, errorText);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!ok) {
            std::fprintf(stderr, "download failed: %ls\n", errorText.c_str());
            return 1;
        }
        std::printf("%zu %.6f %.1f\n", body.size(), seconds, static_cast<double>(body.size()) / seconds / 1048576.0);
    }
    return 0;
}
