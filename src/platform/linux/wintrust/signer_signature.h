// Whether a signer of a PKCS #7 SignedData signed its content: the
// messageDigest attribute must equal the digest of the content's contents
// octets (for Authenticode, SpcIndirectDataContent without its own tag and
// length), and the signature must verify over the authenticated attributes
// re-encoded as a SET, with the given public key.
#pragma once

#include <openssl/evp.h>
#include <openssl/pkcs7.h>

#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

enum class SignerCheck {
    kValid,
    kContentDigestMismatch,  // messageDigest missing or not the content's digest
    kBadSignature,           // the signature value does not verify with the key
    kUnknownDigest,          // the signer names a digest algorithm OpenSSL does not know
};

SignerCheck VerifySignerSignature(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer, EVP_PKEY* key);

// The signer's identity, as CryptoAPI holds it.
std::vector<std::uint8_t> SignerIssuer(const PKCS7_SIGNER_INFO* signer);
std::vector<std::uint8_t> SignerSerialLittleEndian(const PKCS7_SIGNER_INFO* signer);

}  // namespace velto::platform::wintrust
