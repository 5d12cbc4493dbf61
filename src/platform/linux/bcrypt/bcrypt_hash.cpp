// BCrypt's SHA-256 provider over OpenSSL's EVP digests. The hash object
// lives in the caller's buffer, as on Windows; it holds the OpenSSL context
// that BCryptDestroyHash frees.
#include <openssl/evp.h>

#include <cstring>
#include <new>
#include <string_view>

#include "platform/linux/bcrypt.h"
#include "platform/linux/support/step_trace.h"
#include "platform/linux/support/text_conversion.h"

namespace {

constexpr std::uint32_t kProviderMagic = 0x56414C47;  // "VALG"
constexpr std::uint32_t kHashMagic = 0x56485348;      // "VHSH"
constexpr ULONG kSha256Length = 32;

struct Provider {
    std::uint32_t magic = kProviderMagic;
    EVP_MD* digest = nullptr;
};

struct HashObject {
    std::uint32_t magic = kHashMagic;
    EVP_MD_CTX* context = nullptr;
    bool finished = false;
};

bool SameText(LPCWSTR wide, std::wstring_view expected) {
    return wide != nullptr && std::wstring_view(wide, velto::platform::WideLength(wide)) == expected;
}

Provider* AsProvider(BCRYPT_HANDLE handle) {
    auto* provider = static_cast<Provider*>(handle);
    return provider != nullptr && provider->magic == kProviderMagic ? provider : nullptr;
}

HashObject* AsHash(BCRYPT_HASH_HANDLE handle) {
    auto* hash = static_cast<HashObject*>(handle);
    return hash != nullptr && hash->magic == kHashMagic ? hash : nullptr;
}

}  // namespace

extern "C" NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* phAlgorithm, LPCWSTR pszAlgId,
                                                LPCWSTR pszImplementation, ULONG dwFlags) {
    velto::platform::TraceStep("bcrypt-provider-open");
    if (phAlgorithm == nullptr || pszImplementation != nullptr || dwFlags != 0) return STATUS_INVALID_PARAMETER;
    *phAlgorithm = nullptr;
    if (!SameText(pszAlgId, L"SHA256")) return STATUS_NOT_FOUND;
    auto* provider = new (std::nothrow) Provider;
    if (provider == nullptr) return STATUS_NO_MEMORY;
    provider->digest = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    if (provider->digest == nullptr) {
        delete provider;
        return STATUS_NOT_FOUND;
    }
    *phAlgorithm = provider;
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS BCryptGetProperty(BCRYPT_HANDLE hObject, LPCWSTR pszProperty, PUCHAR pbOutput, ULONG cbOutput,
                                      ULONG* pcbResult, ULONG dwFlags) {
    if (AsProvider(hObject) == nullptr) return STATUS_INVALID_HANDLE;
    if (pcbResult == nullptr || dwFlags != 0) return STATUS_INVALID_PARAMETER;
    ULONG value = 0;
    if (SameText(pszProperty, L"ObjectLength")) {
        value = sizeof(HashObject);
    } else if (SameText(pszProperty, L"HashDigestLength")) {
        value = kSha256Length;
    } else {
        return STATUS_NOT_SUPPORTED;
    }
    *pcbResult = sizeof(value);
    if (pbOutput == nullptr) return STATUS_SUCCESS;
    if (cbOutput < sizeof(value)) return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(pbOutput, &value, sizeof(value));
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE hAlgorithm, BCRYPT_HASH_HANDLE* phHash, PUCHAR pbHashObject,
                                     ULONG cbHashObject, PUCHAR pbSecret, ULONG cbSecret, ULONG dwFlags) {
    Provider* provider = AsProvider(hAlgorithm);
    if (provider == nullptr) return STATUS_INVALID_HANDLE;
    if (phHash == nullptr || pbSecret != nullptr || cbSecret != 0 || dwFlags != 0) return STATUS_INVALID_PARAMETER;
    *phHash = nullptr;
    if (pbHashObject == nullptr || cbHashObject < sizeof(HashObject)) return STATUS_BUFFER_TOO_SMALL;
    if (reinterpret_cast<std::uintptr_t>(pbHashObject) % alignof(HashObject) != 0) return STATUS_INVALID_PARAMETER;

    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) return STATUS_NO_MEMORY;
    if (EVP_DigestInit_ex2(context, provider->digest, nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return STATUS_INVALID_PARAMETER;
    }
    auto* hash = new (pbHashObject) HashObject;
    hash->context = context;
    *phHash = hash;
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hHash, PUCHAR pbInput, ULONG cbInput, ULONG dwFlags) {
    HashObject* hash = AsHash(hHash);
    if (hash == nullptr || hash->finished) return STATUS_INVALID_HANDLE;
    if ((pbInput == nullptr && cbInput != 0) || dwFlags != 0) return STATUS_INVALID_PARAMETER;
    return EVP_DigestUpdate(hash->context, pbInput, cbInput) == 1 ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

extern "C" NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hHash, PUCHAR pbOutput, ULONG cbOutput, ULONG dwFlags) {
    HashObject* hash = AsHash(hHash);
    if (hash == nullptr || hash->finished) return STATUS_INVALID_HANDLE;
    if (pbOutput == nullptr || dwFlags != 0) return STATUS_INVALID_PARAMETER;
    if (cbOutput != kSha256Length) return STATUS_INVALID_BUFFER_SIZE;
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(hash->context, pbOutput, &length) != 1 || length != kSha256Length) {
        return STATUS_INVALID_PARAMETER;
    }
    hash->finished = true;
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hHash) {
    HashObject* hash = AsHash(hHash);
    if (hash == nullptr) return STATUS_INVALID_HANDLE;
    EVP_MD_CTX_free(hash->context);
    hash->magic = 0;  // the caller's buffer no longer holds a hash
    hash->~HashObject();
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE hAlgorithm, ULONG dwFlags) {
    Provider* provider = AsProvider(hAlgorithm);
    if (provider == nullptr) return STATUS_INVALID_HANDLE;
    if (dwFlags != 0) return STATUS_INVALID_PARAMETER;
    EVP_MD_free(provider->digest);
    provider->magic = 0;
    delete provider;
    velto::platform::TraceStep("bcrypt-provider-closed");
    return STATUS_SUCCESS;
}
