// WinHTTP's session and connection handles, the options and time-outs they
// carry, and closing any handle.
#include <cstring>
#include <memory>
#include <string>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/step_trace.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/winhttp/internet_objects.h"

namespace {

using namespace velto::platform::winhttp;
using velto::platform::Fail;
using velto::platform::FailNull;

// A request keeps its settings with its transfer, the others in the object.
TransferSettings& SettingsOf(InternetObject& object) {
    return object.transfer ? object.transfer->settings : object.settings;
}

// WinHTTP's time-out values: -1 and 0 mean none, anything below -1 is an
// error.
bool ToTimeout(int value, int& timeoutMs) {
    if (value < -1) return false;
    timeoutMs = value > 0 ? value : 0;
    return true;
}

// The system's proxy settings (the environment's, see proxy_settings.cpp) or
// none. A named proxy is refused: nothing here asks for one.
bool ToProxySettings(DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, TransferSettings& settings) {
    if (proxy != nullptr || bypass != nullptr) return false;
    settings.useSystemProxy = accessType == WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY;
    return accessType == WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY || accessType == WINHTTP_ACCESS_TYPE_NO_PROXY;
}

}  // namespace

extern "C" HINTERNET WinHttpOpen(LPCWSTR pszAgentW, DWORD dwAccessType, LPCWSTR pszProxyW, LPCWSTR pszProxyBypassW,
                                 DWORD dwFlags) {
    velto::platform::TraceStep("winhttp-session-open");
    // The layer works synchronously only.
    if ((dwFlags & WINHTTP_FLAG_ASYNC) != 0) return FailNull(ERROR_NOT_SUPPORTED);
    if (dwFlags != 0) return FailNull(ERROR_INVALID_PARAMETER);
    if (!InitializeCurlOnce()) return FailNull(ERROR_WINHTTP_INTERNAL_ERROR);

    auto session = std::make_unique<InternetObject>();
    session->kind = HandleKind::Session;
    if ((pszAgentW != nullptr && !velto::platform::Utf16ToUtf8(pszAgentW, session->settings.userAgent)) ||
        !ToProxySettings(dwAccessType, pszProxyW, pszProxyBypassW, session->settings)) {
        return FailNull(ERROR_INVALID_PARAMETER);
    }
    return AddInternetObject(std::move(session));
}

extern "C" BOOL WinHttpSetTimeouts(HINTERNET hInternet, int nResolveTimeout, int nConnectTimeout, int nSendTimeout,
                                   int nReceiveTimeout) {
    InternetObject* object = FindAnyInternetObject(hInternet);
    if (object == nullptr) return FALSE;
    Timeouts timeouts;
    if (!ToTimeout(nResolveTimeout, timeouts.resolveMs) || !ToTimeout(nConnectTimeout, timeouts.connectMs) ||
        !ToTimeout(nSendTimeout, timeouts.sendMs) || !ToTimeout(nReceiveTimeout, timeouts.receiveMs)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    SettingsOf(*object).timeouts = timeouts;
    return TRUE;
}

extern "C" HINTERNET WinHttpConnect(HINTERNET hSession, LPCWSTR pswzServerName, INTERNET_PORT nServerPort,
                                    DWORD dwReserved) {
    const InternetObject* session = FindInternetObject(hSession, HandleKind::Session);
    if (session == nullptr) return nullptr;
    auto connection = std::make_unique<InternetObject>();
    connection->kind = HandleKind::Connection;
    if (dwReserved != 0 || pswzServerName == nullptr || *pswzServerName == L'\0' ||
        !velto::platform::Utf16ToUtf8(pswzServerName, connection->host)) {
        return FailNull(ERROR_INVALID_PARAMETER);
    }
    connection->settings = session->settings;
    connection->port = nServerPort;
    return AddInternetObject(std::move(connection));
}

extern "C" BOOL WinHttpSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
    InternetObject* object = FindAnyInternetObject(hInternet);
    if (object == nullptr) return FALSE;
    if (dwOption != WINHTTP_OPTION_REDIRECT_POLICY) return Fail(ERROR_WINHTTP_INVALID_OPTION);
    if (object->kind == HandleKind::Connection) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    if (lpBuffer == nullptr || dwBufferLength != sizeof(DWORD)) return Fail(ERROR_INSUFFICIENT_BUFFER);
    DWORD policy = 0;
    std::memcpy(&policy, lpBuffer, sizeof(policy));
    if (policy > WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS) return Fail(ERROR_INVALID_PARAMETER);
    SettingsOf(*object).redirectPolicy = policy;
    return TRUE;
}

extern "C" BOOL WinHttpCloseHandle(HINTERNET hInternet) {
    const InternetObject* object = FindAnyInternetObject(hInternet);
    const bool session = object != nullptr && object->kind == HandleKind::Session;
    if (!RemoveInternetObject(hInternet)) return FALSE;
    if (session) velto::platform::TraceStep("winhttp-session-closed");
    return TRUE;
}
