// Whether the end of a response's headers is a redirect to follow.
#pragma once

#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {

enum class RedirectDecision { Final, Follow, TooMany };

// WinHTTP follows at most this many redirects per request.
constexpr int kMaxRedirects = 10;

// Decides for a response with status code whose headers just ended; on
// Follow, transfer.redirectTarget holds the absolute target.
RedirectDecision DecideRedirect(Transfer& transfer, long code);

}  // namespace velto::platform::winhttp
