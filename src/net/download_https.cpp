#include "net/download_https.h"

#include <algorithm>

#include "base/scoped_owner.h"
#include "base/windows_error_text.h"
#include "net/https_prefix.h"
#include "platform/win_api.h"
#include "velto_version.h"

namespace {

constexpr wchar_t kUserAgent[] = L"Velto Bootstrapper/" VELTO_USER_AGENT_VERSION;
constexpr int kResolveTimeoutMs = 15000;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;
constexpr DWORD kHostNameCapacity = 512;
constexpr DWORD kUrlPathCapacity = 4096;

struct ParsedUrl {
    INTERNET_SCHEME scheme = 0;
    INTERNET_PORT port = 0;
    std::wstring host;
    std::wstring path;
};

bool CrackUrl(const std::wstring& url, ParsedUrl& parsed) {
    wchar_t host[kHostNameCapacity] = {};
    wchar_t path[kUrlPathCapacity] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = kHostNameCapacity;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = kUrlPathCapacity;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;

    parsed.scheme = parts.nScheme;
    parsed.port = parts.nPort;
    parsed.host.assign(host, std::min(parts.dwHostNameLength, kHostNameCapacity - 1));
    parsed.path.assign(path, std::min(parts.dwUrlPathLength, kUrlPathCapacity - 1));
    return true;
}

// Room for the whole limit is reserved before the first chunk and committed
// as the body grows, so the bytes never move. Memory that cannot be had is
// a failure to take in the stream, told with the system's reason.
bool ReadBody(HINTERNET request, ByteBuffer& body, std::uint64_t sizeLimit, std::wstring& errorText) {
    if (!body.ReserveRoom(sizeLimit)) {
        errorText = LastErrorMessage(kStreamFailedPrefix);
        return false;
    }
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request, &available)) {
            errorText = LastErrorMessage(kStreamFailedPrefix);
            return false;
        }
        if (available == 0) {
            body.ReleaseUnusedMemory();
            return true;
        }

        const std::size_t stored = body.size();
        if (static_cast<std::uint64_t>(stored) + available > sizeLimit) {
            errorText = kSizeLimitMessage;
            return false;
        }
        if (!body.ResizeWithinRoom(stored + available)) {
            errorText = LastErrorMessage(kStreamFailedPrefix);
            return false;
        }
        DWORD read = 0;
        if (!WinHttpReadData(request, body.data() + stored, available, &read)) {
            errorText = LastErrorMessage(kStreamFailedPrefix);
            return false;
        }
        body.ResizeWithinRoom(stored + std::min(read, available));  // shrinking always succeeds
    }
}

}  // namespace

bool DownloadHttps(const std::wstring& url, ByteBuffer& body, std::uint64_t sizeLimit, std::wstring& errorText) {
    if (!HasHttpsPrefix(url)) {
        errorText = kNotHttpsUrlMessage;
        return false;
    }
    ParsedUrl parsed;
    if (!CrackUrl(url, parsed)) {
        errorText = LastErrorMessage(kInvalidUrlPrefix);
        return false;
    }
    if (parsed.scheme != INTERNET_SCHEME_HTTPS) {
        errorText = kHttpsRequiredMessage;
        return false;
    }

    ScopedHttpHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                         WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        errorText = LastErrorMessage(kClientFailedPrefix);
        return false;
    }
    // Fails only for a handle that is not a session or a time-out below -1,
    // neither of which can happen here; the result is therefore not examined.
    WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);

    ScopedHttpHandle connection(WinHttpConnect(session.get(), parsed.host.c_str(), parsed.port, 0));
    if (!connection) {
        errorText = LastErrorMessage(kConnectFailedPrefix);
        return false;
    }

    const std::wstring target = parsed.path.empty() ? std::wstring(L"/") : parsed.path;
    ScopedHttpHandle request(WinHttpOpenRequest(connection.get(), L"GET", target.c_str(), nullptr,
                                                WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                WINHTTP_FLAG_SECURE));
    if (!request) {
        errorText = LastErrorMessage(kRequestNotCreatedPrefix);
        return false;
    }

    // Stated rather than assumed. Not examined: this is also WinHTTP's
    // default policy, so a failed call leaves the same policy in force.
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirectPolicy, sizeof(redirectPolicy));

    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        errorText = LastErrorMessage(kRequestFailedPrefix);
        return false;
    }

    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
        errorText = kStatusUnreadMessage;
        return false;
    }
    if (status < 200 || status > 299) {
        errorText = kServerStatusPrefix + std::to_wstring(status) + L".";
        return false;
    }

    return ReadBody(request.get(), body, sizeLimit, errorText);
}
