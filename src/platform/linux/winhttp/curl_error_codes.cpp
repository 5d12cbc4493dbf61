// The WinHTTP codes for the ways a libcurl transfer can end, as Windows
// reports the same conditions.
#include <cerrno>

#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {
namespace {

bool IsConnectionLoss(long osErrno) {
    return osErrno == ECONNRESET || osErrno == EPIPE || osErrno == ECONNABORTED;
}

// A TLS failure: the server's certificate was refused, or the handshake
// itself failed (no common protocol version, not TLS at all), or the
// connection was lost during it.
DWORD SecureFailure(CURLcode code, long osErrno) {
    if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE ||
        code == CURLE_SSL_ISSUER_ERROR || code == CURLE_SSL_INVALIDCERTSTATUS) {
        return ERROR_WINHTTP_SECURE_FAILURE;
    }
    if (IsConnectionLoss(osErrno)) return ERROR_WINHTTP_CONNECTION_ERROR;
    return ERROR_WINHTTP_SECURE_CHANNEL_ERROR;
}

}  // namespace

DWORD WinHttpErrorFromCurl(CURLcode code, long osErrno) {
    switch (code) {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_WINHTTP_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_WINHTTP_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_WINHTTP_TIMEOUT;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CONNECT_ERROR:
        return SecureFailure(code, osErrno);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_PROXY:
        return ERROR_WINHTTP_CONNECTION_ERROR;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // what is no HTTP/1.x reply at all
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    case CURLE_TOO_MANY_REDIRECTS:
        return ERROR_WINHTTP_REDIRECT_FAILED;
    case CURLE_URL_MALFORMAT:
        return ERROR_WINHTTP_INVALID_URL;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_WINHTTP_INTERNAL_ERROR;
    }
}

}  // namespace velto::platform::winhttp
