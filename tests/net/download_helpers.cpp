#include "download_helpers.h"

#include "base/windows_error_text.h"
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
    return kRequestFailedPrefix + DescribeWindowsError(code);
}

std::wstring StreamFailed(unsigned code) {
    return kStreamFailedPrefix + DescribeWindowsError(code);
}

std::wstring ServerStatus(unsigned status) {
    return kServerStatusPrefix + std::to_wstring(status) + L".";
}

}  // namespace velto::test
