#include "platform/linux/winhttp/url_split.h"

#include <cwchar>

#include "platform/linux/support/ascii_case.h"

namespace velto::platform::winhttp {
namespace {

constexpr std::size_t kNone = std::wstring_view::npos;

// Characters that cannot stand in a host name or address.
bool IsForbiddenInHost(wchar_t c) {
    return c <= L' ' || c == 0x7F || std::wcschr(L"<>\"{}|\\^`%", c) != nullptr;
}

bool ParsePort(std::wstring_view digits, INTERNET_PORT& port) {
    if (digits.empty() || digits.size() > 5) return false;
    unsigned long value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<unsigned long>(c - L'0');
    }
    if (value == 0 || value > 65535) return false;
    port = static_cast<INTERNET_PORT>(value);
    return true;
}

// Splits "host[:port]" (host possibly a bracketed IPv6 address), which
// starts at offset in the URL.
bool SplitHostAndPort(std::size_t offset, std::wstring_view hostPort, UrlParts& parts) {
    std::size_t hostEnd = hostPort.size();
    if (!hostPort.empty() && hostPort.front() == L'[') {
        const std::size_t close = hostPort.find(L']');
        if (close == kNone) return false;
        hostEnd = close + 1;
        if (hostEnd < hostPort.size() && hostPort[hostEnd] != L':') return false;
    } else if (const std::size_t colon = hostPort.rfind(L':'); colon != kNone) {
        hostEnd = colon;
    }
    const std::wstring_view host = hostPort.substr(0, hostEnd);
    if (host.empty()) return false;
    for (const wchar_t c : host) {
        if (IsForbiddenInHost(c)) return false;
    }
    parts.hostName = {offset, host.size()};
    // "host:" with nothing after the colon keeps the scheme's port.
    if (hostEnd + 1 < hostPort.size() && !ParsePort(hostPort.substr(hostEnd + 1), parts.port)) return false;
    return true;
}

bool SplitAuthority(std::wstring_view url, std::size_t start, std::size_t end, bool rejectUserInfo,
                    UrlParts& parts) {
    const std::wstring_view authority = url.substr(start, end - start);
    const std::size_t at = authority.rfind(L'@');
    std::size_t hostStart = start;
    if (at != kNone) {
        if (rejectUserInfo) return false;
        const std::wstring_view userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(L':');
        parts.userName = {start, colon == kNone ? userInfo.size() : colon};
        if (colon != kNone) parts.password = {start + colon + 1, userInfo.size() - colon - 1};
        hostStart = start + at + 1;
    }
    return SplitHostAndPort(hostStart, url.substr(hostStart, end - hostStart), parts);
}

}  // namespace

DWORD SplitUrl(std::wstring_view url, bool separateExtraInfo, bool rejectUserInfo, UrlParts& parts) {
    parts = {};
    const std::size_t colon = url.find(L':');
    if (colon == kNone) return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    const std::wstring_view scheme = url.substr(0, colon);
    if (EqualsAsciiLower(scheme, L"https")) {
        parts.scheme = INTERNET_SCHEME_HTTPS;
        parts.port = INTERNET_DEFAULT_HTTPS_PORT;
    } else if (EqualsAsciiLower(scheme, L"http")) {
        parts.scheme = INTERNET_SCHEME_HTTP;
        parts.port = INTERNET_DEFAULT_HTTP_PORT;
    } else {
        return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
    }
    parts.schemeName = {0, colon};
    if (url.substr(colon + 1, 2) != L"//") return ERROR_WINHTTP_INVALID_URL;

    const std::size_t authorityStart = colon + 3;
    std::size_t authorityEnd = url.find_first_of(L"/?#", authorityStart);
    if (authorityEnd == kNone) authorityEnd = url.size();
    if (!SplitAuthority(url, authorityStart, authorityEnd, rejectUserInfo, parts)) return ERROR_WINHTTP_INVALID_URL;

    std::size_t pathEnd = url.size();
    if (separateExtraInfo) {
        pathEnd = url.find_first_of(L"?#", authorityEnd);
        if (pathEnd == kNone) pathEnd = url.size();
    }
    parts.path = {authorityEnd, pathEnd - authorityEnd};
    parts.extraInfo = {pathEnd, url.size() - pathEnd};
    return ERROR_SUCCESS;
}

}  // namespace velto::platform::winhttp
