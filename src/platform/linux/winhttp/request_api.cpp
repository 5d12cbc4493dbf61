// WinHTTP's request handle up to the response headers: opening it, sending
// it, waiting for the final response and reading its status code.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/winhttp/internet_objects.h"
#include "platform/linux/winhttp/request_url.h"

namespace {

using namespace velto::platform::winhttp;
using velto::platform::Fail;
using velto::platform::FailNull;

bool IsConnected(const Transfer& transfer) {
    return transfer.connected;
}

bool HasFinalHeaders(const Transfer& transfer) {
    return transfer.headersComplete;
}

// The status as a number, in a buffer whose size is in bytes.
BOOL DeliverStatus(DWORD status, LPVOID buffer, LPDWORD bufferLength) {
    if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
        *bufferLength = sizeof(DWORD);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, &status, sizeof(status));
    *bufferLength = sizeof(DWORD);
    return TRUE;
}

}  // namespace

extern "C" HINTERNET WinHttpOpenRequest(HINTERNET hConnect, LPCWSTR pwszVerb, LPCWSTR pwszObjectName,
                                        LPCWSTR pwszVersion, LPCWSTR pwszReferrer, LPCWSTR* ppwszAcceptTypes,
                                        DWORD dwFlags) {
    const InternetObject* connection = FindInternetObject(hConnect, HandleKind::Connection);
    if (connection == nullptr) return nullptr;
    // A GET with WinHTTP's defaults for the version (HTTP/1.1), the referrer
    // and the accept types: no caller of the layer asks for anything else.
    const bool get = pwszVerb == nullptr || std::wstring_view(pwszVerb) == L"GET";
    if (!get || pwszVersion != nullptr || pwszReferrer != nullptr || ppwszAcceptTypes != nullptr) {
        return FailNull(ERROR_NOT_SUPPORTED);
    }
    auto request = std::make_unique<InternetObject>();
    request->kind = HandleKind::Request;
    request->host = connection->host;
    request->port = connection->port;
    request->transfer = std::make_unique<Transfer>();
    request->transfer->settings = connection->settings;
    if (!BuildRequestUrl((dwFlags & WINHTTP_FLAG_SECURE) != 0, connection->host, connection->port,
                         pwszObjectName != nullptr ? pwszObjectName : L"/", request->transfer->setup.url)) {
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
    // Requests carry neither extra headers nor a body here: no caller of the
    // layer sends any.
    if ((lpszHeaders != nullptr && dwHeadersLength != 0) || lpOptional != nullptr || dwOptionalLength != 0 ||
        dwTotalLength != 0) {
        return Fail(ERROR_NOT_SUPPORTED);
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
    // The layer keeps the status line's code, the one header its callers
    // read, and only as a number.
    if (dwInfoLevel != (WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER)) return Fail(ERROR_NOT_SUPPORTED);
    return DeliverStatus(transfer.statusCode, lpBuffer, lpdwBufferLength);
}
