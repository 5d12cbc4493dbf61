// Creating, configuring and releasing libcurl's handles for one request.
#include <cstdint>

#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {
namespace {

// libcurl's receive buffer, and with it the largest chunk the layer holds.
// Large enough that a fast transfer needs few pauses and wake-ups.
constexpr long kReceiveBufferSize = 512 * 1024;

bool SetAll(CURL* easy, std::initializer_list<CURLcode> results) {
    for (const CURLcode result : results) {
        if (result != CURLE_OK) return false;
    }
    return easy != nullptr;
}

bool ApplyBasics(Transfer& transfer, const std::string& url) {
    CURL* easy = transfer.easy;
    return SetAll(easy, {
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str()),
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L),
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"),
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)),
        // Redirects are followed by the layer itself, so that one to plain
        // HTTP can end as the final response instead of as an error.
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L),
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L),
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize),
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers),
    });
}

bool ApplyUserAgent(Transfer& transfer) {
    const std::string& agent = transfer.settings.userAgent;
    return agent.empty() || curl_easy_setopt(transfer.easy, CURLOPT_USERAGENT, agent.c_str()) == CURLE_OK;
}

bool ApplyCallbacks(Transfer& transfer) {
    CURL* easy = transfer.easy;
    return SetAll(easy, {
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ReceiveHeaderLine),
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer),
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ReceiveBody),
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer),
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &ConnectionReady),
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer),
    });
}

// An empty "Accept:" keeps libcurl from sending one of its own where
// WinHTTP sends none.
bool BuildHeaderList(Transfer& transfer) {
    transfer.headers = curl_slist_append(nullptr, "Accept:");
    return transfer.headers != nullptr;
}

// Forgets everything the previous exchange on this handle learnt.
void ResetExchangeState(Transfer& transfer) {
    transfer.connected = false;
    transfer.headersComplete = false;
    transfer.finished = false;
    transfer.failure = ERROR_SUCCESS;
    transfer.statusCode = 0;
    transfer.location.clear();
    transfer.redirectPending = false;
    transfer.nameResolved = false;
    transfer.socketConnected = false;
    transfer.chunk.clear();
    transfer.chunkStart = 0;
    transfer.paused = false;
    transfer.lastProgress = Clock::now();
}

// Configures the fresh easy handle for url.
DWORD ConfigureEasy(Transfer& transfer, const std::string& url) {
    if (!ApplyBasics(transfer, url) || !ApplyUserAgent(transfer) || !ApplyCallbacks(transfer)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    const DWORD tls = ApplyTlsDefaults(transfer.easy);
    if (tls != ERROR_SUCCESS) return tls;
    return ApplyProxySettings(transfer.easy, transfer.settings);
}

}  // namespace

DWORD StartTransfer(Transfer& transfer) {
    transfer.multi = curl_multi_init();
    transfer.easy = curl_easy_init();
    if (transfer.multi == nullptr || transfer.easy == nullptr || !BuildHeaderList(transfer)) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    transfer.chunk.reserve(kReceiveBufferSize);
    transfer.currentUrl = transfer.setup.url;
    const DWORD configured = ConfigureEasy(transfer, transfer.currentUrl);
    if (configured != ERROR_SUCCESS) return configured;
    ResetExchangeState(transfer);
    if (curl_multi_add_handle(transfer.multi, transfer.easy) != CURLM_OK) return ERROR_NOT_ENOUGH_MEMORY;
    transfer.attached = true;
    return ERROR_SUCCESS;
}

DWORD FollowRedirect(Transfer& transfer) {
    if (transfer.attached) curl_multi_remove_handle(transfer.multi, transfer.easy);
    transfer.attached = false;
    transfer.currentUrl = transfer.redirectTarget;
    ++transfer.redirectsFollowed;
    if (curl_easy_setopt(transfer.easy, CURLOPT_URL, transfer.currentUrl.c_str()) != CURLE_OK) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    ResetExchangeState(transfer);
    if (curl_multi_add_handle(transfer.multi, transfer.easy) != CURLM_OK) return ERROR_NOT_ENOUGH_MEMORY;
    transfer.attached = true;
    return ERROR_SUCCESS;
}

void EndTransfer(Transfer& transfer) {
    if (transfer.attached) curl_multi_remove_handle(transfer.multi, transfer.easy);
    transfer.attached = false;
    if (transfer.easy != nullptr) curl_easy_cleanup(transfer.easy);
    transfer.easy = nullptr;
    if (transfer.multi != nullptr) curl_multi_cleanup(transfer.multi);
    transfer.multi = nullptr;
    curl_slist_free_all(transfer.headers);
    transfer.headers = nullptr;
    transfer.chunk = {};
    transfer.chunkStart = 0;
}

Transfer::~Transfer() {
    EndTransfer(*this);
}

}  // namespace velto::platform::winhttp
