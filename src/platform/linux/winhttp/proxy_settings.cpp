// Which proxy a request goes through. The system's settings on Linux are
// the conventional variables (https_proxy, HTTPS_PROXY, no_proxy, ...),
// which libcurl reads for each transfer; HTTPS through such a proxy is
// tunnelled with CONNECT.
#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {

DWORD ApplyProxySettings(CURL* easy, const TransferSettings& settings) {
    CURLcode result = CURLE_OK;
    switch (settings.proxySource) {
    case ProxySource::Environment:
        return ERROR_SUCCESS;
    case ProxySource::None:
        // An empty proxy makes libcurl ignore the variables.
        result = curl_easy_setopt(easy, CURLOPT_PROXY, "");
        break;
    case ProxySource::Named:
        result = curl_easy_setopt(easy, CURLOPT_PROXY, settings.proxy.c_str());
        if (result == CURLE_OK && !settings.proxyBypass.empty()) {
            result = curl_easy_setopt(easy, CURLOPT_NOPROXY, settings.proxyBypass.c_str());
        }
        break;
    }
    return result == CURLE_OK ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

}  // namespace velto::platform::winhttp
