// The objects behind WinHTTP handles: a session, a connection (which only
// names a server) and a request. Each child copies what it inherits from
// its parent when it is opened, as WinHTTP does, so a parent may be closed
// before its children without leaving them anything dangling.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/linux/winhttp.h"
#include "platform/linux/winhttp/transfer.h"

namespace velto::platform::winhttp {

enum class HandleKind { Session, Connection, Request };

struct InternetObject {
    HandleKind kind = HandleKind::Session;
    TransferSettings settings;  // every kind: inherited by the children
    std::string host;           // connection and request: UTF-8
    INTERNET_PORT port = 0;     // connection and request
    std::unique_ptr<Transfer> transfer;  // request only
};

// Registers object and returns the handle that names it.
HINTERNET AddInternetObject(std::unique_ptr<InternetObject> object);

// The object behind handle if it is open and of kind. Otherwise null, with
// ERROR_INVALID_HANDLE or ERROR_WINHTTP_INCORRECT_HANDLE_TYPE as the last
// error. Valid until the handle is closed.
InternetObject* FindInternetObject(HINTERNET handle, HandleKind kind);

// The object behind handle whatever its kind, or null with
// ERROR_INVALID_HANDLE as the last error.
InternetObject* FindAnyInternetObject(HINTERNET handle);

// Unregisters handle and destroys its object; false with
// ERROR_INVALID_HANDLE when it is not open.
bool RemoveInternetObject(HINTERNET handle);

// How many WinHTTP handles are open, so tests can see that none leaked.
std::size_t OpenInternetHandleCount();

}  // namespace velto::platform::winhttp
