// WinHTTP's request handle up to the response headers: opening it, sending
// it, waiting for the final response and reading its status code.
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/text_conversion.h"
#include "platform/linux/winhttp/internet_objects.h"
#include "platform/linux/winhttp/request_url.h"

namespace {

using namespace velto::platform::winhttp;
using velto::platform::Fail;
using velto::platform::FailNull;

constexpr DWORD kQueryLevelMask = 0x0000FFFF;
constexpr DWORD kWholeText = static_cast<DWORD>(-1);

bool IsConnected(const Transfer& transfer) {
    return transfer.connected;
}

bool HasFinalHeaders(const Transfer& transfer) {
    return transfer.headersComplete;
}

// "Accept: a, b" from WinHTTP's list, or an empty "Accept:", which keeps
// libcurl from sending one of its own where WinHTTP sends none.
bool AcceptHeader(LPCWSTR* acceptTypes, std::string& line) {
    line = "Accept:";
    for (LPCWSTR* type = acceptTypes; type != nullptr && *type != nullptr; ++type) {
        std::string text;
        if (!velto::platform::Utf16ToUtf8(*type, text)) return false;
        line += (type == acceptTypes) ? " " : ", ";
        line += text;
    }
    return true;
}

// The caller's extra headers, one per line.
bool AddHeaderLines(LPCWSTR headers, DWORD length, std::vector<std::string>& lines) {
    if (headers == nullptr || length == 0) return true;
    const std::size_t count = length == kWholeText ? velto::platform::WideLength(headers) : length;
    std::string text;
    if (!velto::platform::Utf16ToUtf8(std::wstring_view(headers, count), text)) return false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return true;
}

bool BuildRequestSetup(const InternetObject& connection, LPCWSTR verb, LPCWSTR objectName, LPCWSTR referrer,
                       LPCWSTR* acceptTypes, bool secure, RequestSetup& setup) {
    std::string accept;
    if (!velto::platform::Utf16ToUtf8(verb != nullptr ? verb : L"GET", setup.verb) || setup.verb.empty() ||
        (referrer != nullptr && !velto::platform::Utf16ToUtf8(referrer, setup.referrer)) ||
        !AcceptHeader(acceptTypes, accept)) {
        return false;
    }
    setup.headerLines.push_back(accept);
    return BuildRequestUrl(secure, connection.host, connection.port, objectName != nullptr ? objectName : L"/",
                           setup.url);
}

// The status as a number or as text, in a buffer whose size is in bytes.
BOOL DeliverStatus(DWORD status, bool asNumber, LPVOID buffer, LPDWORD bufferLength) {
    if (asNumber) {
        if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
            *bufferLength = sizeof(DWORD);
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(buffer, &status, sizeof(status));
        *bufferLength = sizeof(DWORD);
        return TRUE;
    }
    const std::wstring text = std::to_wstring(status);
    const DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (buffer == nullptr || *bufferLength < needed) {
        *bufferLength = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), needed);
    *bufferLength = needed - static_cast<DWORD>(sizeof(wchar_t));
    return TRUE;
}

}  // namespace

extern "C" HINTERNET WinHttpOpenRequest(HINTERNET hConnect, LPCWSTR pwszVerb, LPCWSTR pwszObjectName,
                                        LPCWSTR pwszVersion, LPCWSTR pwszReferrer, LPCWSTR* ppwszAcceptTypes,
                                        DWORD dwFlags) {
    const InternetObject* connection = FindInternetObject(hConnect, HandleKind::Connection);
    if (connection == nullptr) return nullptr;
    // HTTP/1.1 is the only version the layer speaks.
    if (pwszVersion != nullptr && std::wstring_view(pwszVersion) != L"HTTP/1.1") {
        return FailNull(ERROR_NOT_SUPPORTED);
    }
    auto request = std::make_unique<InternetObject>();
    request->kind = HandleKind::Request;
    request->host = connection->host;
    request->port = connection->port;
    request->transfer = std::make_unique<Transfer>();
    request->transfer->settings = connection->settings;
    if (!BuildRequestSetup(*connection, pwszVerb, pwszObjectName, pwszReferrer, ppwszAcceptTypes,
                           (dwFlags & WINHTTP_FLAG_SECURE) != 0, request->transfer->setup)) {
        return FailNull(ERROR_INVALID_PARAMETER);
    }
    return AddInternetObject(std::move(request));
}

extern "C" BOOL WinHttpSendRequest(HINTERNET hRequest, LPCWSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                                   DWORD dwOptionalLength, DWORD dwTotalLength, DWORD_PTR) {
    InternetObject* request = FindInternetObject(hRequest, HandleKind::Request);
    if (request == nullptr) return FALSE;
    Transfer& transfer = *request->transfer;
    if (transfer.started) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    // Requests carry no body here: nothing the layer's callers send needs one.
    if (lpOptional != nullptr || dwOptionalLength != 0 || dwTotalLength != 0) return Fail(ERROR_NOT_SUPPORTED);
    if (!AddHeaderLines(lpszHeaders, dwHeadersLength, transfer.setup.headerLines)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    transfer.started = true;
    DWORD result = StartTransfer(transfer);
    if (result == ERROR_SUCCESS) result = DriveTransfer(transfer, &IsConnected);
    if (result != ERROR_SUCCESS) {
        EndTransfer(transfer);
        return Fail(result);
    }
    return TRUE;
}

extern "C" BOOL WinHttpReceiveResponse(HINTERNET hRequest, LPVOID lpReserved) {
    InternetObject* request = FindInternetObject(hRequest, HandleKind::Request);
    if (request == nullptr) return FALSE;
    if (lpReserved != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Transfer& transfer = *request->transfer;
    if (!transfer.started || transfer.responseWanted || transfer.easy == nullptr) {
        return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    }
    transfer.responseWanted = true;
    const DWORD result = DriveTransfer(transfer, &HasFinalHeaders);
    if (result != ERROR_SUCCESS) return Fail(result);
    if (!transfer.headersComplete) return Fail(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    return TRUE;
}

extern "C" BOOL WinHttpQueryHeaders(HINTERNET hRequest, DWORD dwInfoLevel, LPCWSTR, LPVOID lpBuffer,
                                    LPDWORD lpdwBufferLength, LPDWORD) {
    const InternetObject* request = FindInternetObject(hRequest, HandleKind::Request);
    if (request == nullptr) return FALSE;
    const Transfer& transfer = *request->transfer;
    if (!transfer.responseWanted || !transfer.headersComplete) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE);
    if (lpdwBufferLength == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    // The layer keeps the status line's code, the one header its callers read.
    const DWORD modifiers = dwInfoLevel & ~kQueryLevelMask;
    if ((dwInfoLevel & kQueryLevelMask) != WINHTTP_QUERY_STATUS_CODE ||
        (modifiers != 0 && modifiers != WINHTTP_QUERY_FLAG_NUMBER)) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    return DeliverStatus(transfer.statusCode, modifiers == WINHTTP_QUERY_FLAG_NUMBER, lpBuffer, lpdwBufferLength);
}
