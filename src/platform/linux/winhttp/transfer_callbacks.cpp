// What libcurl calls during an exchange: the connection is ready, a header
// line arrived, body bytes arrived. Each of them is progress for the
// no-progress time-outs.
#include <string_view>

#include "platform/linux/support/ascii_case.h"
#include "platform/linux/winhttp/redirects.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {
namespace {

bool IsBlankLine(const char* data, size_t length) {
    return (length == 2 && data[0] == '\r' && data[1] == '\n') || (length == 1 && data[0] == '\n');
}

// The blanks HTTP allows around a field value, and the line's own end.
bool IsHeaderSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsHeaderSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsHeaderSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Keeps what a redirect decision needs from a header line: each response
// starts with its status line, and may carry a Location.
void NoteHeaderLine(Transfer& transfer, std::string_view line) {
    if (StartsWithAsciiLower(line, "http/")) {
        transfer.location.clear();
    } else if (StartsWithAsciiLower(line, "location:") && transfer.location.empty()) {
        transfer.location = Trimmed(line.substr(9));
    }
}

// Called at the blank line that ends a response's headers. Returns false to
// stop this exchange, for a redirect to follow or a failure.
bool CompleteHeaders(Transfer& transfer) {
    long code = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &code);
    // Interim responses (100 Continue and the like) are not final.
    if (code >= 100 && code <= 199) return true;

    const RedirectDecision decision = DecideRedirect(transfer, code);
    if (decision == RedirectDecision::Follow) {
        transfer.redirectPending = true;
        return false;
    }
    if (decision == RedirectDecision::TooMany) {
        transfer.failure = ERROR_WINHTTP_REDIRECT_FAILED;
        return false;
    }
    transfer.statusCode = static_cast<DWORD>(code);
    transfer.headersComplete = true;
    return true;
}

}  // namespace

size_t ReceiveHeaderLine(char* data, size_t size, size_t count, void* user) {
    Transfer& transfer = *static_cast<Transfer*>(user);
    transfer.lastProgress = Clock::now();
    const size_t length = size * count;
    // Trailers of a chunked body end in a blank line too; they change nothing.
    if (transfer.headersComplete) return length;
    if (!IsBlankLine(data, length)) {
        NoteHeaderLine(transfer, std::string_view(data, length));
        return length;
    }
    return CompleteHeaders(transfer) ? length : 0;
}

size_t ReceiveBody(char* data, size_t size, size_t count, void* user) {
    Transfer& transfer = *static_cast<Transfer*>(user);
    transfer.lastProgress = Clock::now();
    const size_t length = size * count;
    if (ChunkAvailable(transfer) == 0) {
        transfer.chunk.clear();
        transfer.chunkStart = 0;
    }
    // One chunk at most: what does not fit stays with libcurl, which stops
    // reading from the socket until the caller has taken the chunk.
    const bool fits = transfer.chunk.size() + length <= transfer.chunk.capacity();
    if (!transfer.chunk.empty() && !fits) {
        transfer.paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    transfer.chunk.insert(transfer.chunk.end(), bytes, bytes + length);
    return length;
}

int ConnectionReady(void* user, char*, char*, int, int) {
    Transfer& transfer = *static_cast<Transfer*>(user);
    transfer.connected = true;
    transfer.lastProgress = Clock::now();
    return CURL_PREREQFUNC_OK;
}

std::size_t ChunkAvailable(const Transfer& transfer) {
    return transfer.chunk.size() - transfer.chunkStart;
}

}  // namespace velto::platform::winhttp
