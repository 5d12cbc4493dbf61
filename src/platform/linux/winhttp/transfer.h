// One HTTP exchange of a request handle, carried out by libcurl. The body
// is pulled: libcurl's transfer is paused whenever the one chunk that the
// layer holds is full, so a body of any length costs a bounded amount of
// memory and the server is held back by TCP flow control.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/winhttp.h"

namespace velto::platform::winhttp {

using Clock = std::chrono::steady_clock;

// Time-outs in milliseconds, 0 standing for none. Windows' defaults.
struct Timeouts {
    int resolveMs = 0;
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
};

// What a session hands down to its connections and requests.
struct TransferSettings {
    std::string userAgent;
    bool useSystemProxy = true;  // false: connect directly
    Timeouts timeouts;
    DWORD redirectPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
};

// What a request handle asks for: a GET of url.
struct RequestSetup {
    std::string url;  // absolute, escaped, without fragment
};

struct Transfer {
    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer();

    TransferSettings settings;
    RequestSetup setup;

    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    bool attached = false;  // easy is in multi

    bool started = false;          // WinHttpSendRequest ran
    bool responseWanted = false;   // WinHttpReceiveResponse ran
    bool connected = false;        // the request can go out (TLS done)
    bool headersComplete = false;  // the final response's headers are in
    bool finished = false;         // libcurl is done, or the layer gave up
    DWORD failure = ERROR_SUCCESS;  // why it finished, when it failed
    DWORD statusCode = 0;

    std::string location;  // the current response's Location header
    bool redirectPending = false;
    std::string redirectTarget;
    std::string currentUrl;
    int redirectsFollowed = 0;

    // Connection phases seen so far, for the phase time-outs.
    bool nameResolved = false;
    bool socketConnected = false;
    Clock::time_point lastProgress;

    // The one chunk of body bytes the layer holds: [chunkStart, size).
    std::vector<std::uint8_t> chunk;
    std::size_t chunkStart = 0;
    bool paused = false;
};

// Bytes of the chunk not yet handed to the caller.
std::size_t ChunkAvailable(const Transfer& transfer);

// Creates libcurl's handles for the request and starts the exchange.
// ERROR_SUCCESS or the Windows code of the failure.
DWORD StartTransfer(Transfer& transfer);

// Moves the exchange on until reached(transfer) holds or it finishes.
// ERROR_SUCCESS when reached holds or the exchange ended well; otherwise
// the failure, which ends the exchange for good.
DWORD DriveTransfer(Transfer& transfer, bool (*reached)(const Transfer&));

// Lets a paused transfer deliver again once the chunk has been emptied.
DWORD ResumeTransfer(Transfer& transfer);

// Ends the exchange and releases libcurl's handles; safe to repeat.
void EndTransfer(Transfer& transfer);

// Starts the exchange again at the redirect target.
DWORD FollowRedirect(Transfer& transfer);

// libcurl's callbacks, installed by ConfigureEasy.
size_t ReceiveHeaderLine(char* data, size_t size, size_t count, void* transfer);
size_t ReceiveBody(char* data, size_t size, size_t count, void* transfer);
int ConnectionReady(void* transfer, char* remoteIp, char* localIp, int remotePort, int localPort);

// The WinHTTP error code for how libcurl ended a transfer.
DWORD WinHttpErrorFromCurl(CURLcode code, long osErrno);

// Applies the platform's TLS checks: verified chain and host name, TLS 1.2
// or newer, the trust store that OpenSSL's variables name.
DWORD ApplyTlsDefaults(CURL* easy);

// Applies the session's proxy settings.
DWORD ApplyProxySettings(CURL* easy, const TransferSettings& settings);

// libcurl's process-wide set-up, done once.
bool InitializeCurlOnce();

}  // namespace velto::platform::winhttp
