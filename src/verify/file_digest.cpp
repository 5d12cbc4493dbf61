#include "verify/file_digest.h"

#include <vector>

#include "base/scoped_owner.h"
#include "platform/win_api.h"

namespace {

constexpr DWORD kReadChunkSize = 1048576;

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

bool Rewind(HANDLE file) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
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

// hashObject receives the hash's working storage; it belongs to the caller
// so that it outlives the hash, the provider and the file.
bool HashOpenFile(HANDLE file, std::vector<std::uint8_t>& hashObject, Sha256Digest& digest) {
    ScopedAlgorithmProvider provider;
    if (!Succeeded(BCryptOpenAlgorithmProvider(provider.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    DWORD objectLength = 0;
    DWORD digestLength = 0;
    if (!ReadDwordProperty(provider.get(), BCRYPT_OBJECT_LENGTH, objectLength) ||
        !ReadDwordProperty(provider.get(), BCRYPT_HASH_LENGTH, digestLength) || digestLength != digest.size()) {
        return false;
    }
    hashObject.assign(objectLength, 0);
    ScopedHashHandle hash;
    return Succeeded(BCryptCreateHash(provider.get(), hash.Receive(), hashObject.data(), objectLength, nullptr, 0, 0)) &&
           HashFileContents(file, hash.get(), digest);
}

}  // namespace

bool HashFileSha256(HANDLE file, Sha256Digest& digest, std::wstring& errorText) {
    std::vector<std::uint8_t> hashObject;
    if (!Rewind(file) || !HashOpenFile(file, hashObject, digest) || !Rewind(file)) {
        errorText = kDigestNotComputedMessage;
        return false;
    }
    return true;
}

bool HashFileSha256(const std::wstring& path, Sha256Digest& digest, std::wstring& errorText) {
    const ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        errorText = kNotOpenedForHashingMessage;
        return false;
    }
    return HashFileSha256(file.get(), digest, errorText);
}
