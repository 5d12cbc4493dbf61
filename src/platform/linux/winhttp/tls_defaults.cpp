// TLS as the platform does it by default, nothing relaxed: the server's
// chain must reach a trusted root and name the host, over TLS 1.2 or newer.
// The trust store is the one OpenSSL uses, including the SSL_CERT_FILE and
// SSL_CERT_DIR variables by which OpenSSL lets it be replaced.
#include <cstdlib>

#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {
namespace {

// A set, non-empty variable, or null.
const char* VariableValue(const char* name) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? value : nullptr;
}

}  // namespace

DWORD ApplyTlsDefaults(CURL* easy) {
    const CURLcode results[] = {
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L),
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L),
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2)),
        // A chain must end at a root, as OpenSSL requires by default; an
        // intermediate in the store is no anchor of its own.
        curl_easy_setopt(easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_PARTIALCHAIN)),
    };
    for (const CURLcode result : results) {
        if (result != CURLE_OK) return ERROR_WINHTTP_INTERNAL_ERROR;
    }
    // libcurl has its own built-in store locations, which take precedence
    // over OpenSSL's variables unless they are handed over explicitly.
    if (const char* file = VariableValue("SSL_CERT_FILE")) {
        if (curl_easy_setopt(easy, CURLOPT_CAINFO, file) != CURLE_OK) return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (const char* directory = VariableValue("SSL_CERT_DIR")) {
        if (curl_easy_setopt(easy, CURLOPT_CAPATH, directory) != CURLE_OK) return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

}  // namespace velto::platform::winhttp
