// Whether a signer of a PKCS #7 SignedData signed the given content: the
// messageDigest attribute must equal the digest of the content (for
// Authenticode, the contents octets of SpcIndirectDataContent, without its
// own tag and length), and the signature must verify, with the given public
// key, over the authenticated attributes exactly as stored, their [0] tag
// read as the SET it stands for. A signer without authenticated attributes
// signs the content itself. The same check serves timestamps, whose
// content is the signature value they stamp or the TSTInfo.
#pragma once

#include <openssl/evp.h>
#include <openssl/pkcs7.h>

#include "platform/linux/wintrust/der_reader.h"

namespace velto::platform::wintrust {

enum class SignerCheck {
    kValid,
    kContentDigestMismatch,  // messageDigest missing or not the content's digest
    kBadSignature,           // the signature value does not verify with the key
    kRefusedDigest,          // a digest or signature algorithm outside the allow-list
};

// stored is the SignerInfo's own encoding, which OpenSSL parsed into signer.
SignerCheck VerifySignerSignature(Bytes content, const PKCS7_SIGNER_INFO* signer, Bytes stored, EVP_PKEY* key);

// Whether the signer carries authenticated attributes whose contentType
// names the given type (OBJECT IDENTIFIER contents octets). Without it the
// signature does not say what it was made for: data signed for any other
// purpose could be passed off as that type.
bool SignerDeclaresContentType(const PKCS7_SIGNER_INFO* signer, Bytes contentTypeOid);

// The signer's identity, as CryptoAPI holds it.
std::vector<std::uint8_t> SignerIssuer(const PKCS7_SIGNER_INFO* signer);
std::vector<std::uint8_t> SignerSerialLittleEndian(const PKCS7_SIGNER_INFO* signer);

}  // namespace velto::platform::wintrust
