// libcurl's process-wide initialisation, which must happen once before the
// first handle is made and is not safe to run on two threads at once.
#include <mutex>

#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {

bool InitializeCurlOnce() {
    static std::once_flag once;
    static CURLcode result = CURLE_FAILED_INIT;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result == CURLE_OK;
}

}  // namespace velto::platform::winhttp
