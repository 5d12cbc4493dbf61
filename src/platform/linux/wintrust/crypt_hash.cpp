// CryptHashCertificate2: a CNG hash algorithm named by its wide identifier,
// over exactly the bytes given (for a fingerprint, the certificate's
// original encoding).
#include <string_view>

#include <openssl/evp.h>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/ascii_case.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/wincrypt.h"

namespace {

using velto::platform::EqualsAsciiLower;
using velto::platform::Fail;

// CNG identifiers compare without regard to case.
const EVP_MD* DigestNamed(LPCWSTR identifier) {
    if (identifier == nullptr) {
        return nullptr;
    }
    const std::wstring_view name(identifier);
    if (EqualsAsciiLower(name, L"sha1")) {
        return EVP_sha1();
    }
    if (EqualsAsciiLower(name, L"sha256")) {
        return EVP_sha256();
    }
    if (EqualsAsciiLower(name, L"sha384")) {
        return EVP_sha384();
    }
    if (EqualsAsciiLower(name, L"sha512")) {
        return EVP_sha512();
    }
    return nullptr;
}

}  // namespace

extern "C" BOOL WINAPI CryptHashCertificate2(LPCWSTR pwszCNGHashAlgid, DWORD, void*, const BYTE* pbEncoded,
                                             DWORD cbEncoded, BYTE* pbComputedHash, DWORD* pcbComputedHash) {
    const EVP_MD* algorithm = DigestNamed(pwszCNGHashAlgid);
    if (algorithm == nullptr) {
        return Fail(NTE_BAD_ALGID);
    }
    if (pcbComputedHash == nullptr || (pbEncoded == nullptr && cbEncoded != 0)) {
        return Fail(E_INVALIDARG);
    }
    const auto size = static_cast<DWORD>(EVP_MD_get_size(algorithm));
    const DWORD offered = *pcbComputedHash;
    *pcbComputedHash = size;
    if (pbComputedHash == nullptr) {
        return TRUE;
    }
    if (offered < size) {
        return Fail(ERROR_MORE_DATA);
    }
    unsigned int written = 0;
    static const BYTE kNothing = 0;
    if (EVP_Digest(pbEncoded == nullptr ? &kNothing : pbEncoded, cbEncoded, pbComputedHash, &written, algorithm,
                   nullptr) != 1) {
        return Fail(NTE_BAD_ALGID);
    }
    *pcbComputedHash = written;
    return TRUE;
}
