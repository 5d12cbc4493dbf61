// Running the real DownloadHttps and checking that it left no WinHTTP
// handle open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/download_https.h"

namespace velto::test {

constexpr std::uint64_t kManifestLimit = 131072;
constexpr std::uint64_t kInstallerLimit = 268435456;

struct DownloadOutcome {
    bool succeeded = false;
    ByteBuffer body;
    std::wstring errorText;
    std::size_t handlesLeftOpen = 0;
};

DownloadOutcome Download(const std::wstring& url, std::uint64_t sizeLimit = kManifestLimit,
                         ByteBuffer initialBody = {});

// What DownloadHttps says when the layer fails with code, and when the
// server answers with a status it refuses.
std::wstring RequestFailed(unsigned code);
std::wstring StreamFailed(unsigned code);
std::wstring ServerStatus(unsigned status);

}  // namespace velto::test
