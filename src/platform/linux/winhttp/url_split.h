// Splitting a URL into the components WinHttpCrackUrl reports.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/linux/winhttp.h"

namespace velto::platform::winhttp {

// Where a component lies in the URL text.
struct UrlSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};

struct UrlParts {
    INTERNET_SCHEME scheme = 0;
    INTERNET_PORT port = 0;
    UrlSpan schemeName;
    UrlSpan userName;
    UrlSpan password;
    UrlSpan hostName;
    UrlSpan path;
    UrlSpan extraInfo;
};

// Splits url ("scheme://[user[:password]@]host[:port][/path][?query][#fragment]",
// http or https). The query and fragment form the extra information when
// separateExtraInfo is set; otherwise they stay in the path, as Windows
// reports them to a caller that does not ask for them. ERROR_SUCCESS,
// ERROR_WINHTTP_UNRECOGNIZED_SCHEME or ERROR_WINHTTP_INVALID_URL.
DWORD SplitUrl(std::wstring_view url, bool separateExtraInfo, bool rejectUserInfo, UrlParts& parts);

}  // namespace velto::platform::winhttp
