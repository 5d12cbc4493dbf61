#include "platform/linux/winhttp/redirects.h"

#include <string_view>

#include "platform/linux/support/ascii_case.h"

namespace velto::platform::winhttp {
namespace {

bool IsRedirectStatus(long code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

bool HasScheme(std::string_view url, std::string_view scheme) {
    return url.size() > scheme.size() && url[scheme.size()] == ':' && StartsWithAsciiLower(url, scheme);
}

// Whether the policy lets the exchange go from the current URL to target.
bool PolicyAllows(const Transfer& transfer, std::string_view target) {
    const DWORD policy = transfer.settings.redirectPolicy;
    if (policy == WINHTTP_OPTION_REDIRECT_POLICY_NEVER) return false;
    if (HasScheme(target, "https")) return true;
    if (!HasScheme(target, "http")) return false;
    return policy == WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS || !HasScheme(transfer.currentUrl, "https");
}

// The absolute URL a Location names, resolved against the current URL as a
// browser would; false when it cannot be.
bool ResolveLocation(const std::string& base, const std::string& location, std::string& target) {
    CURLU* url = curl_url();
    char* text = nullptr;
    const bool resolved = url != nullptr && curl_url_set(url, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
                          curl_url_set(url, CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
                          curl_url_get(url, CURLUPART_URL, &text, 0) == CURLUE_OK;
    if (resolved) target = text;
    curl_free(text);
    curl_url_cleanup(url);
    return resolved;
}

}  // namespace

RedirectDecision DecideRedirect(Transfer& transfer, long code) {
    if (!IsRedirectStatus(code)) return RedirectDecision::Final;
    // A redirect without a usable Location is a final response.
    std::string target;
    if (transfer.location.empty() || !ResolveLocation(transfer.currentUrl, transfer.location, target)) {
        return RedirectDecision::Final;
    }
    if (!PolicyAllows(transfer, target)) return RedirectDecision::Final;
    if (transfer.redirectsFollowed >= kMaxRedirects) return RedirectDecision::TooMany;
    transfer.redirectTarget = target;
    return RedirectDecision::Follow;
}

}  // namespace velto::platform::winhttp
