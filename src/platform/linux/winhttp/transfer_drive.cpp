// Moving an exchange on, synchronously, with WinHTTP's time-outs: name
// resolution and connection each bound their phase, and after that a
// send or a receive fails once it has made no progress for its time-out,
// however long the exchange as a whole takes.
#include <algorithm>

#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {
namespace {

// The longest single wait, so that phase changes are seen promptly.
constexpr int kLongestWaitMs = 1000;

bool TimerPassed(CURL* easy, CURLINFO timer) {
    curl_off_t microseconds = 0;
    return curl_easy_getinfo(easy, timer, &microseconds) == CURLE_OK && microseconds > 0;
}

// Whether the TCP connection stands. libcurl's connect timer waits for the
// TLS handshake as well, but it records the peer's port as soon as the
// socket is connected.
bool SocketConnected(CURL* easy) {
    long port = 0;
    return TimerPassed(easy, CURLINFO_CONNECT_TIME_T) ||
           (curl_easy_getinfo(easy, CURLINFO_PRIMARY_PORT, &port) == CURLE_OK && port > 0);
}

// Notes the connection phases that ended since the last look; a phase
// that ends is progress.
void TrackPhases(Transfer& transfer) {
    if (!transfer.socketConnected && SocketConnected(transfer.easy)) {
        transfer.nameResolved = true;
        transfer.socketConnected = true;
        transfer.lastProgress = Clock::now();
    } else if (!transfer.nameResolved && TimerPassed(transfer.easy, CURLINFO_NAMELOOKUP_TIME_T)) {
        transfer.nameResolved = true;
        transfer.lastProgress = Clock::now();
    }
}

// The time-out of the phase the exchange is in; 0 for none.
int PhaseTimeoutMs(const Transfer& transfer) {
    const Timeouts& timeouts = transfer.settings.timeouts;
    if (!transfer.nameResolved) return timeouts.resolveMs;
    if (!transfer.socketConnected) return timeouts.connectMs;
    // Until the connection is ready the client mostly sends (the TLS
    // handshake); after that it waits for the server.
    if (!transfer.connected) return timeouts.sendMs;
    return timeouts.receiveMs;
}

// Milliseconds left before the phase times out; negative once it has.
long long RemainingMs(const Transfer& transfer) {
    const int limit = PhaseTimeoutMs(transfer);
    if (limit == 0) return kLongestWaitMs;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - transfer.lastProgress);
    return limit - idle.count();
}

// Ends the exchange with code and returns it.
DWORD Fail(Transfer& transfer, DWORD code) {
    transfer.finished = true;
    transfer.failure = code;
    if (transfer.attached) curl_multi_remove_handle(transfer.multi, transfer.easy);
    transfer.attached = false;
    return code;
}

// Takes libcurl's word that the easy handle is done, if it has said so.
void CollectCompletion(Transfer& transfer) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(transfer.multi, &queued)) {
        if (message->msg != CURLMSG_DONE || message->easy_handle != transfer.easy) continue;
        transfer.finished = true;
        if (transfer.redirectPending || transfer.failure != ERROR_SUCCESS) continue;
        long osErrno = 0;
        curl_easy_getinfo(transfer.easy, CURLINFO_OS_ERRNO, &osErrno);
        transfer.failure = WinHttpErrorFromCurl(message->data.result, osErrno);
    }
}

// One round of work; false when it failed (transfer.failure says why).
bool Step(Transfer& transfer) {
    int running = 0;
    if (curl_multi_perform(transfer.multi, &running) != CURLM_OK) {
        Fail(transfer, ERROR_WINHTTP_INTERNAL_ERROR);
        return false;
    }
    TrackPhases(transfer);
    CollectCompletion(transfer);
    if (transfer.finished && transfer.redirectPending) {
        const DWORD followed = FollowRedirect(transfer);
        if (followed != ERROR_SUCCESS) {
            Fail(transfer, followed);
            return false;
        }
    }
    return true;
}

}  // namespace

DWORD DriveTransfer(Transfer& transfer, bool (*reached)(const Transfer&)) {
    // Each blocking call gets the whole time-out of its phase.
    transfer.lastProgress = Clock::now();
    for (;;) {
        if (reached(transfer)) return ERROR_SUCCESS;
        // ERROR_SUCCESS when it ended well: the caller tells whether that
        // was enough.
        if (transfer.finished) return transfer.failure;
        if (!Step(transfer)) return transfer.failure;
        if (reached(transfer) || transfer.finished) continue;

        const long long remaining = RemainingMs(transfer);
        if (remaining <= 0) return Fail(transfer, ERROR_WINHTTP_TIMEOUT);
        const int wait = static_cast<int>(std::min<long long>(remaining, kLongestWaitMs));
        if (curl_multi_poll(transfer.multi, nullptr, 0, wait, nullptr) != CURLM_OK) {
            return Fail(transfer, ERROR_WINHTTP_INTERNAL_ERROR);
        }
    }
}

DWORD ResumeTransfer(Transfer& transfer) {
    if (!transfer.paused || transfer.finished) return ERROR_SUCCESS;
    transfer.paused = false;
    // libcurl hands over what it kept back from within this call, which may
    // pause the transfer again at once.
    if (curl_easy_pause(transfer.easy, CURLPAUSE_CONT) != CURLE_OK) return Fail(transfer, ERROR_WINHTTP_INTERNAL_ERROR);
    return ERROR_SUCCESS;
}

}  // namespace velto::platform::winhttp
