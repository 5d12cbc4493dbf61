#include "platform/linux/winhttp/request_url.h"

#include <cstring>

#include "platform/linux/support/text_conversion.h"

namespace velto::platform::winhttp {
namespace {

bool NeedsEscape(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

void AppendEscaped(std::string& url, std::string_view text) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!NeedsEscape(byte)) {
            url.push_back(c);
            continue;
        }
        url.push_back('%');
        url.push_back(kHexDigits[byte >> 4]);
        url.push_back(kHexDigits[byte & 0x0F]);
    }
}

// An IPv6 address in a URL stands in brackets.
std::string HostForUrl(const std::string& host) {
    if (host.find(':') == std::string::npos || host.front() == '[') return host;
    return "[" + host + "]";
}

}  // namespace

bool BuildRequestUrl(bool secure, const std::string& host, INTERNET_PORT port, std::wstring_view objectName,
                     std::string& url) {
    std::string object;
    if (!Utf16ToUtf8(objectName.substr(0, objectName.find(L'#')), object)) return false;
    if (port == INTERNET_DEFAULT_PORT) port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;

    url = secure ? "https://" : "http://";
    url += HostForUrl(host);
    url += ':';
    url += std::to_string(port);
    if (object.empty() || object.front() != '/') url.push_back('/');
    AppendEscaped(url, object);
    return true;
}

}  // namespace velto::platform::winhttp
