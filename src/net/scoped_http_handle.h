// Owns one WinHTTP handle and closes it when the owner ends, so that every
// path out of a download, an exception included, closes what it opened.
#pragma once

#include "platform/win_api.h"

class ScopedHttpHandle {
public:
    explicit ScopedHttpHandle(HINTERNET handle) noexcept : handle_(handle) {}
    ~ScopedHttpHandle() {
        if (handle_ != nullptr) WinHttpCloseHandle(handle_);
    }
    ScopedHttpHandle(const ScopedHttpHandle&) = delete;
    ScopedHttpHandle& operator=(const ScopedHttpHandle&) = delete;

    HINTERNET get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};
