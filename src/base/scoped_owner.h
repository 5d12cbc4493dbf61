// Owners for the Windows handles the bootstrapper opens: each closes its
// handle when it goes out of scope, so that every path out of a function,
// early returns included, releases what it acquired. Locals are destroyed
// in reverse order of declaration; declaring owners in the order the
// handles are acquired therefore releases them in reverse order of
// acquisition.
//
// Closing keeps the thread's last error. A failure path often sets the
// error, returns, and lets its caller read GetLastError; without this a
// successful CloseHandle on the way out could reset the code the caller is
// about to describe. The code is saved before the close and put back after
// it, on every platform.
#pragma once

#include "platform/win_api.h"

// Kind describes one kind of handle: its type, the value that means "no
// handle", and how to close one.
template <typename Kind>
class ScopedOwner {
public:
    using Handle = typename Kind::Handle;

    ScopedOwner() noexcept = default;
    explicit ScopedOwner(Handle handle) noexcept : handle_(handle) {}
    ~ScopedOwner() { Reset(); }
    ScopedOwner(const ScopedOwner&) = delete;
    ScopedOwner& operator=(const ScopedOwner&) = delete;
    // Ownership moves; the owner moved from holds nothing.
    ScopedOwner(ScopedOwner&& other) noexcept : handle_(other.Release()) {}
    ScopedOwner& operator=(ScopedOwner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Kind::None(); }

    // For functions that hand a new handle back through a pointer. Any
    // handle held before is closed first.
    Handle* Receive() noexcept {
        Reset();
        return &handle_;
    }

    // Hands the handle on to an owner that outlives this one.
    Handle Release() noexcept {
        const Handle handle = handle_;
        handle_ = Kind::None();
        return handle;
    }

    // Closes the handle held, if any, and takes handle in its place.
    void Reset(Handle handle = Kind::None()) noexcept {
        if (handle_ != Kind::None()) {
            const DWORD lastError = GetLastError();
            Kind::Close(handle_);
            SetLastError(lastError);
        }
        handle_ = handle;
    }

private:
    Handle handle_ = Kind::None();
};

namespace owned {

// CreateFileW reports failure with INVALID_HANDLE_VALUE.
struct File {
    using Handle = HANDLE;
    static Handle None() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseHandle(handle); }
};

// FindFirstFileW too, but its handles are closed with FindClose.
struct Search {
    using Handle = HANDLE;
    static Handle None() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { FindClose(handle); }
};

// Every other kind is null when absent.
template <typename HandleType, void (*CloseFunction)(HandleType)>
struct NullWhenAbsent {
    using Handle = HandleType;
    static Handle None() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};

inline void CloseKernelObject(HANDLE handle) { CloseHandle(handle); }
inline void CloseInternetHandle(HINTERNET handle) { WinHttpCloseHandle(handle); }
inline void CloseAlgorithmProvider(BCRYPT_ALG_HANDLE handle) { BCryptCloseAlgorithmProvider(handle, 0); }
inline void DestroyHash(BCRYPT_HASH_HANDLE handle) { BCryptDestroyHash(handle); }
inline void CloseStore(HCERTSTORE handle) { CertCloseStore(handle, 0); }
inline void CloseMessage(HCRYPTMSG handle) { CryptMsgClose(handle); }
inline void FreeCertificate(PCCERT_CONTEXT handle) { CertFreeCertificateContext(handle); }
inline void FreeLocal(HLOCAL memory) { LocalFree(memory); }
inline void UnloadModule(HMODULE module) { FreeLibrary(module); }

}  // namespace owned

using ScopedFileHandle = ScopedOwner<owned::File>;
using ScopedSearchHandle = ScopedOwner<owned::Search>;
using ScopedModule = ScopedOwner<owned::NullWhenAbsent<HMODULE, owned::UnloadModule>>;
// Memory that a Windows function allocated for its caller.
using ScopedLocalMemory = ScopedOwner<owned::NullWhenAbsent<HLOCAL, owned::FreeLocal>>;
// Process and thread handles.
using ScopedKernelHandle = ScopedOwner<owned::NullWhenAbsent<HANDLE, owned::CloseKernelObject>>;
using ScopedHttpHandle = ScopedOwner<owned::NullWhenAbsent<HINTERNET, owned::CloseInternetHandle>>;
using ScopedAlgorithmProvider = ScopedOwner<owned::NullWhenAbsent<BCRYPT_ALG_HANDLE, owned::CloseAlgorithmProvider>>;
using ScopedHashHandle = ScopedOwner<owned::NullWhenAbsent<BCRYPT_HASH_HANDLE, owned::DestroyHash>>;
using ScopedCertStore = ScopedOwner<owned::NullWhenAbsent<HCERTSTORE, owned::CloseStore>>;
using ScopedCryptMessage = ScopedOwner<owned::NullWhenAbsent<HCRYPTMSG, owned::CloseMessage>>;
using ScopedCertContext = ScopedOwner<owned::NullWhenAbsent<PCCERT_CONTEXT, owned::FreeCertificate>>;
