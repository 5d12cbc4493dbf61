#include "fake_winhttp.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

WinHttpScript script;
const HINTERNET kSession = reinterpret_cast<HINTERNET>(0x5E55);
const HINTERNET kConnection = reinterpret_cast<HINTERNET>(0xC044);
const HINTERNET kRequest = reinterpret_cast<HINTERNET>(0x4E90);

void Record(const std::wstring& call) { script.calls.push_back(call); }

BOOL Outcome(DWORD error) {
    if (error == 0) return TRUE;
    SetLastError(error);
    return FALSE;
}

HINTERNET HandleOutcome(DWORD error, HINTERNET handle) {
    return Outcome(error) ? handle : nullptr;
}

std::wstring Text(LPCWSTR text) { return text == nullptr ? L"(null)" : std::wstring(text); }

bool CopyPart(const std::wstring& part, LPWSTR buffer, DWORD& length) {
    if (part.size() >= length) return false;
    std::copy(part.begin(), part.end(), buffer);
    buffer[part.size()] = L'\0';
    length = static_cast<DWORD>(part.size());
    return true;
}

}  // namespace

WinHttpScript& HttpScript() { return script; }
void ResetHttpScript() { script = WinHttpScript{}; }

extern "C" BOOL WINAPI WinHttpCrackUrl(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTS parts) {
    Record(L"crack " + Text(url) + L" " + std::to_wstring(length) + L" " + std::to_wstring(flags) + L" host " +
           std::to_wstring(parts->dwHostNameLength) + L" path " + std::to_wstring(parts->dwUrlPathLength) +
           (parts->dwStructSize == sizeof(URL_COMPONENTS) && parts->lpszScheme == nullptr &&
                    parts->lpszExtraInfo == nullptr && parts->lpszUserName == nullptr
                ? L""
                : L" unexpected fields"));
    if (!Outcome(script.crackError)) return FALSE;
    if (!CopyPart(script.host, parts->lpszHostName, parts->dwHostNameLength) ||
        !CopyPart(script.path, parts->lpszUrlPath, parts->dwUrlPathLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    parts->nScheme = script.scheme;
    parts->nPort = script.port;
    return TRUE;
}

extern "C" HINTERNET WINAPI WinHttpOpen(LPCWSTR agent, DWORD access, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
    Record(L"open " + Text(agent) + L" " + std::to_wstring(access) + L" " + Text(proxy) + L" " + Text(bypass) + L" " +
           std::to_wstring(flags));
    return HandleOutcome(script.openError, kSession);
}

extern "C" BOOL WINAPI WinHttpSetTimeouts(HINTERNET handle, int resolve, int connect, int send, int receive) {
    Record(std::wstring(handle == kSession ? L"timeouts " : L"timeouts on wrong handle ") + std::to_wstring(resolve) +
           L" " + std::to_wstring(connect) + L" " + std::to_wstring(send) + L" " + std::to_wstring(receive));
    return TRUE;
}

extern "C" HINTERNET WINAPI WinHttpConnect(HINTERNET session, LPCWSTR host, INTERNET_PORT port, DWORD reserved) {
    Record(std::wstring(session == kSession ? L"connect " : L"connect on wrong handle ") + Text(host) + L" " +
           std::to_wstring(port) + L" " + std::to_wstring(reserved));
    return HandleOutcome(script.connectError, kConnection);
}

extern "C" HINTERNET WINAPI WinHttpOpenRequest(HINTERNET connection, LPCWSTR verb, LPCWSTR target, LPCWSTR version,
                                               LPCWSTR referrer, LPCWSTR* accept, DWORD flags) {
    Record(std::wstring(connection == kConnection ? L"request " : L"request on wrong handle ") + Text(verb) + L" " +
           Text(target) + L" " + Text(version) + L" " + Text(referrer) + (accept == nullptr ? L" default" : L" types") +
           L" " + std::to_wstring(flags));
    return HandleOutcome(script.requestError, kRequest);
}

extern "C" BOOL WINAPI WinHttpSetOption(HINTERNET request, DWORD option, LPVOID buffer, DWORD length) {
    DWORD value = 0;
    if (buffer != nullptr && length == sizeof(value)) std::memcpy(&value, buffer, sizeof(value));
    Record(std::wstring(request == kRequest ? L"option " : L"option on wrong handle ") + std::to_wstring(option) +
           L" " + std::to_wstring(value) + L" " + std::to_wstring(length));
    return TRUE;
}

extern "C" BOOL WINAPI WinHttpSendRequest(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                                          DWORD optionalLength, DWORD totalLength, DWORD_PTR context) {
    const bool plain = request == kRequest && headers == nullptr && headersLength == 0 && optional == nullptr &&
                       optionalLength == 0 && totalLength == 0 && context == 0;
    Record(plain ? L"send" : L"send with unexpected arguments");
    return Outcome(script.sendError);
}

extern "C" BOOL WINAPI WinHttpReceiveResponse(HINTERNET request, LPVOID reserved) {
    Record(request == kRequest && reserved == nullptr ? L"receive" : L"receive with unexpected arguments");
    return Outcome(script.receiveError);
}

extern "C" BOOL WINAPI WinHttpQueryHeaders(HINTERNET request, DWORD level, LPCWSTR name, LPVOID buffer,
                                           LPDWORD length, LPDWORD index) {
    const bool asExpected = request == kRequest && level == 0x20000013 && name == nullptr && index == nullptr &&
                            length != nullptr && *length == 4 && *static_cast<DWORD*>(buffer) == 0;
    Record(asExpected ? L"status" : L"status with unexpected arguments");
    if (!Outcome(script.queryHeadersError)) return FALSE;
    *static_cast<DWORD*>(buffer) = script.status;
    return TRUE;
}

extern "C" BOOL WINAPI WinHttpQueryDataAvailable(HINTERNET request, LPDWORD available) {
    Record(request == kRequest && *available == 0 ? L"available" : L"available with unexpected arguments");
    if (script.chunkIndex >= script.chunks.size()) return TRUE;  // *available stays 0: the end
    const FakeChunk& chunk = script.chunks[script.chunkIndex];
    if (!Outcome(chunk.queryError)) return FALSE;
    *available = chunk.announced;
    return TRUE;
}

extern "C" BOOL WINAPI WinHttpReadData(HINTERNET request, LPVOID buffer, DWORD toRead, LPDWORD read) {
    Record(L"read " + std::to_wstring(toRead) + (request == kRequest && *read == 0 ? L"" : L" unexpected"));
    const FakeChunk& chunk = script.chunks.at(script.chunkIndex++);
    if (!Outcome(chunk.readError)) return FALSE;
    const DWORD count = std::min<DWORD>(toRead, static_cast<DWORD>(chunk.bytes.size()));
    std::memcpy(buffer, chunk.bytes.data(), count);
    *read = count;
    return TRUE;
}

extern "C" BOOL WINAPI WinHttpCloseHandle(HINTERNET handle) {
    Record(handle == kRequest ? L"close request" : handle == kConnection ? L"close connection"
                                                 : handle == kSession    ? L"close session"
                                                                         : L"close unknown");
    return TRUE;
}

namespace {

// Reservations outlive a script: buffers made in one test may end in the next.
std::map<std::uintptr_t, std::size_t>& Reservations() {
    static auto* reservations = new std::map<std::uintptr_t, std::size_t>;
    return *reservations;
}

// The offset of address in its reservation, as text.
std::wstring Offset(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    auto found = Reservations().upper_bound(at);
    if (found == Reservations().begin()) return L"outside";
    --found;
    return at < found->first + found->second ? std::to_wstring(at - found->first) : L"outside";
}

}  // namespace

extern "C" LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    if (address == nullptr) {
        Record(L"reserve " + std::to_wstring(size) +
               (type == MEM_RESERVE && protect == PAGE_NOACCESS ? L"" : L" unexpected"));
        if (!Outcome(script.reserveError)) return nullptr;
        void* block = std::calloc(size, 1);  // untouched pages cost nothing here either
        if (block != nullptr) Reservations()[reinterpret_cast<std::uintptr_t>(block)] = size;
        return block;
    }
    Record(L"commit " + Offset(address) + L" " + std::to_wstring(size) +
           (type == MEM_COMMIT && protect == PAGE_READWRITE ? L"" : L" unexpected"));
    const bool failing = script.commits++ == script.commitsBeforeError;
    return !failing || Outcome(script.commitError) ? address : nullptr;
}

extern "C" BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
    if (type == MEM_DECOMMIT) {
        Record(L"decommit " + Offset(address) + L" " + std::to_wstring(size));
        return TRUE;
    }
    const auto found = Reservations().find(reinterpret_cast<std::uintptr_t>(address));
    const bool known = type == MEM_RELEASE && size == 0 && found != Reservations().end();
    Record(known ? L"release" : L"release unexpected");
    if (!known) return FALSE;
    std::free(address);
    Reservations().erase(found);
    return TRUE;
}
