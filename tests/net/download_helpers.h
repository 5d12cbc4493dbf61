// Running the real DownloadHttps and checking that it left no WinHTTP
// handle open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/bootstrap_sequence.h"  // the limits of the two downloads
#include "net/download_https.h"

namespace velto::test {

struct DownloadOutcome {
    bool succeeded = false;
    ByteBuffer body;
    std::wstring errorText;
    std::size_t handlesLeftOpen = 0;
};

DownloadOutcome Download(const std::wstring& url, std::uint64_t sizeLimit = kManifestSizeLimit,
                         ByteBuffer initialBody = {});

// What DownloadHttps says when the layer fails with code, and when the
// server answers with a status it refuses.
std::wstring RequestFailed(unsigned code);
std::wstring StreamFailed(unsigned code);
std::wstring ServerStatus(unsigned status);

}  // namespace velto::test
