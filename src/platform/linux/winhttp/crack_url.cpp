// WinHttpCrackUrl: reports the components a caller asks for, either as
// pointers into the URL or copied into the caller's buffers.
#include <cstring>
#include <string_view>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/winhttp/url_split.h"

namespace {

using velto::platform::Fail;
using velto::platform::winhttp::UrlParts;
using velto::platform::winhttp::UrlSpan;

constexpr DWORD kSupportedFlags = ICU_REJECT_USERPWD;

// A component is asked for when its pointer or its length is not zero.
bool IsWanted(LPWSTR buffer, DWORD length) {
    return buffer != nullptr || length != 0;
}

// Whether a caller's buffer, if any, can take the component with its
// terminator; if not, its length becomes the size needed.
bool FitsBuffer(LPWSTR buffer, DWORD& length, const UrlSpan& span) {
    if (buffer == nullptr || length == 0 || length > span.length) return true;
    length = static_cast<DWORD>(span.length + 1);
    return false;
}

void Deliver(const wchar_t* url, const UrlSpan& span, LPWSTR& buffer, DWORD& length) {
    if (!IsWanted(buffer, length)) return;
    if (buffer == nullptr) {
        buffer = const_cast<LPWSTR>(url + span.start);
    } else {
        std::memcpy(buffer, url + span.start, span.length * sizeof(wchar_t));
        buffer[span.length] = L'\0';
    }
    length = static_cast<DWORD>(span.length);
}

bool AllBuffersFit(URL_COMPONENTS& c, const UrlParts& parts) {
    // Every component is checked, so each too-small buffer learns its size.
    bool fits = FitsBuffer(c.lpszScheme, c.dwSchemeLength, parts.schemeName);
    fits = FitsBuffer(c.lpszHostName, c.dwHostNameLength, parts.hostName) && fits;
    fits = FitsBuffer(c.lpszUserName, c.dwUserNameLength, parts.userName) && fits;
    fits = FitsBuffer(c.lpszPassword, c.dwPasswordLength, parts.password) && fits;
    fits = FitsBuffer(c.lpszUrlPath, c.dwUrlPathLength, parts.path) && fits;
    fits = FitsBuffer(c.lpszExtraInfo, c.dwExtraInfoLength, parts.extraInfo) && fits;
    return fits;
}

void DeliverAll(const wchar_t* url, URL_COMPONENTS& c, const UrlParts& parts) {
    Deliver(url, parts.schemeName, c.lpszScheme, c.dwSchemeLength);
    Deliver(url, parts.hostName, c.lpszHostName, c.dwHostNameLength);
    Deliver(url, parts.userName, c.lpszUserName, c.dwUserNameLength);
    Deliver(url, parts.password, c.lpszPassword, c.dwPasswordLength);
    Deliver(url, parts.path, c.lpszUrlPath, c.dwUrlPathLength);
    Deliver(url, parts.extraInfo, c.lpszExtraInfo, c.dwExtraInfoLength);
    c.nScheme = parts.scheme;
    c.nPort = parts.port;
}

}  // namespace

extern "C" BOOL WinHttpCrackUrl(LPCWSTR pwszUrl, DWORD dwUrlLength, DWORD dwFlags, LPURL_COMPONENTS lpUrlComponents) {
    if (pwszUrl == nullptr || lpUrlComponents == nullptr || lpUrlComponents->dwStructSize != sizeof(URL_COMPONENTS)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if ((dwFlags & ~kSupportedFlags) != 0) return Fail(ERROR_INVALID_PARAMETER);

    URL_COMPONENTS& components = *lpUrlComponents;
    const std::size_t length = dwUrlLength != 0 ? dwUrlLength : velto::platform::WideLength(pwszUrl);
    const bool separateExtraInfo = IsWanted(components.lpszExtraInfo, components.dwExtraInfoLength);
    UrlParts parts;
    const DWORD split = velto::platform::winhttp::SplitUrl(std::wstring_view(pwszUrl, length), separateExtraInfo,
                                                            (dwFlags & ICU_REJECT_USERPWD) != 0, parts);
    if (split != ERROR_SUCCESS) return Fail(split);
    if (!AllBuffersFit(components, parts)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    DeliverAll(pwszUrl, components, parts);
    return TRUE;
}
