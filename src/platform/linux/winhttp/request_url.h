// The URL libcurl is given for a request handle.
#pragma once

#include <string>
#include <string_view>

#include "platform/linux/winhttp.h"

namespace velto::platform::winhttp {

// "scheme://host:port/object": the object name in UTF-8, with the
// characters an HTTP request line cannot carry escaped and any fragment
// left out, as neither travels to the server. False for an object name
// that is not valid UTF-16.
bool BuildRequestUrl(bool secure, const std::string& host, INTERNET_PORT port, std::wstring_view objectName,
                     std::string& url);

}  // namespace velto::platform::winhttp
