#include "download_helpers.h"

#include "platform/linux/winhttp/internet_objects.h"

namespace velto::test {

DownloadOutcome Download(const std::wstring& url, std::uint64_t sizeLimit, ByteBuffer initialBody) {
    DownloadOutcome outcome;
    outcome.body = std::move(initialBody);
    outcome.succeeded = DownloadHttps(url, outcome.body, sizeLimit, outcome.errorText);
    outcome.handlesLeftOpen = velto::platform::winhttp::OpenInternetHandleCount();
    return outcome;
}

std::wstring RequestFailed(unsigned code) {
    return L"The Velto download request failed: Windows error " + std::to_wstring(code);
}

std::wstring StreamFailed(unsigned code) {
    return L"Could not read the download stream: Windows error " + std::to_wstring(code);
}

}  // namespace velto::test
