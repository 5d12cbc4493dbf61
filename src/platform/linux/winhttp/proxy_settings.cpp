// Which proxy a request goes through. The system's settings on Linux are
// the conventional variables (https_proxy, HTTPS_PROXY, no_proxy, ...),
// which libcurl reads for each transfer; HTTPS through such a proxy is
// tunnelled with CONNECT.
#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {

DWORD ApplyProxySettings(CURL* easy, const TransferSettings& settings) {
    if (settings.useSystemProxy) return ERROR_SUCCESS;
    // An empty proxy makes libcurl ignore the variables.
    return curl_easy_setopt(easy, CURLOPT_PROXY, "") == CURLE_OK ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace velto::platform::winhttp
