#include "verify/file_digest.h"

#include <vector>

#include "platform/win_api.h"

namespace {

constexpr DWORD kReadChunkSize = 1048576;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

bool ReadDwordProperty(BCRYPT_ALG_HANDLE provider, LPCWSTR name, DWORD& value) {
    ULONG resultSize = 0;
    return Succeeded(BCryptGetProperty(provider, name, reinterpret_cast<PUCHAR>(&value), sizeof(value),
                                       &resultSize, 0));
}

// Feeds the file to the hash until the first empty read, then finishes the
// digest. The read buffer lives only for this loop.
bool HashFileContents(HANDLE file, BCRYPT_HASH_HANDLE hash, Sha256Digest& digest) {
    std::vector<std::uint8_t> chunk(kReadChunkSize, 0);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk.data(), kReadChunkSize, &read, nullptr)) return false;
        if (read == 0) break;
        if (!Succeeded(BCryptHashData(hash, chunk.data(), read, 0))) return false;
    }
    std::vector<std::uint8_t>().swap(chunk);
    return Succeeded(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
}

}  // namespace

bool HashFileSha256(const std::wstring& path, Sha256Digest& digest, std::wstring& errorText) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorText = L"Could not open the downloaded installer for hashing.";
        return false;
    }

    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<std::uint8_t> hashObject;
    DWORD objectLength = 0;
    DWORD digestLength = 0;

    bool hashed = Succeeded(BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
                  ReadDwordProperty(provider, BCRYPT_OBJECT_LENGTH, objectLength) &&
                  ReadDwordProperty(provider, BCRYPT_HASH_LENGTH, digestLength) &&
                  digestLength == digest.size();
    if (hashed) {
        hashObject.assign(objectLength, 0);
        hashed = Succeeded(BCryptCreateHash(provider, &hash, hashObject.data(), objectLength, nullptr, 0, 0)) &&
                 HashFileContents(file, hash, digest);
    }
    if (!hashed) errorText = L"Could not calculate the installer SHA-256 hash.";

    if (hash != nullptr) BCryptDestroyHash(hash);
    if (provider != nullptr) BCryptCloseAlgorithmProvider(provider, 0);
    CloseHandle(file);
    return hashed;
}
