#include "platform/linux/wintrust/signer_signature.h"

#include <algorithm>

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/digest_policy.h"
#include "platform/linux/wintrust/openssl_owners.h"
#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

namespace {

// The messageDigest authenticated attribute:
//     MessageDigest ::= OCTET STRING   -- the digest of the content octets
bool ContentDigestMatches(Bytes content, const PKCS7_SIGNER_INFO* signer, const EVP_MD* algorithm) {
    ASN1_OCTET_STRING* expected = PKCS7_digest_from_attributes(signer->auth_attr);
    if (expected == nullptr) {
        return false;
    }
    unsigned char actual[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(content.data(), content.size(), actual, &length, algorithm, nullptr) != 1) {
        return false;
    }
    const unsigned char* wanted = ASN1_STRING_get0_data(expected);
    return ASN1_STRING_length(expected) == static_cast<int>(length) && std::equal(actual, actual + length, wanted);
}

bool SignatureVerifies(const PKCS7_SIGNER_INFO* signer, const EVP_MD* algorithm, EVP_PKEY* key,
                       const unsigned char* signedBytes, std::size_t signedLength) {
    MdContextOwner context(EVP_MD_CTX_new());
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, algorithm, nullptr, key) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), ASN1_STRING_get0_data(signer->enc_digest),
                            static_cast<std::size_t>(ASN1_STRING_length(signer->enc_digest)), signedBytes,
                            signedLength) == 1;
}

// SignerInfo ::= SEQUENCE {
//     version                    Version,
//     issuerAndSerialNumber      IssuerAndSerialNumber,
//     digestAlgorithm            DigestAlgorithmIdentifier,
//     authenticatedAttributes    [0] IMPLICIT Attributes OPTIONAL, ... }
// The stored authenticated attributes, whole.
bool StoredAttributes(Bytes stored, DerElement& attributes) {
    DerElement signerInfo, field;
    if (!ReadDerElementWithTag(stored, der_tag::kSequence, signerInfo)) {
        return false;
    }
    Bytes fields = signerInfo.content;
    return ReadDerElementWithTag(fields, der_tag::kInteger, field) &&
           ReadDerElementWithTag(fields, der_tag::kSequence, field) &&
           ReadDerElementWithTag(fields, der_tag::kSequence, field) &&
           ReadDerElementWithTag(fields, der_tag::kContextZero, attributes);
}

SignerCheck VerifyOverAttributes(Bytes content, const PKCS7_SIGNER_INFO* signer, Bytes stored, const EVP_MD* algorithm,
                                 EVP_PKEY* key) {
    if (!ContentDigestMatches(content, signer, algorithm)) {
        return SignerCheck::kContentDigestMismatch;
    }
    // The signature is over the attributes' bytes as they were stored, with
    // the SET OF tag (0x31) in place of the [0]: not over a re-encoding,
    // which would turn a stretched length or a constructed string back into
    // what was signed and let altered bytes pass.
    DerElement attributes;
    if (!StoredAttributes(stored, attributes)) {
        return SignerCheck::kBadSignature;
    }
    std::vector<std::uint8_t> signedBytes(attributes.whole.begin(), attributes.whole.end());
    signedBytes[0] = der_tag::kSet;
    return SignatureVerifies(signer, algorithm, key, signedBytes.data(), signedBytes.size()) ? SignerCheck::kValid
                                                                                          : SignerCheck::kBadSignature;
}

}  // namespace

SignerCheck VerifySignerSignature(Bytes content, const PKCS7_SIGNER_INFO* signer, Bytes stored, EVP_PKEY* key) {
    if (signer == nullptr || key == nullptr || signer->digest_alg == nullptr || signer->enc_digest == nullptr) {
        return SignerCheck::kBadSignature;
    }
    const EVP_MD* algorithm = AcceptedDigest(signer->digest_alg);
    if (algorithm == nullptr || !SignatureAlgorithmAgrees(signer->digest_enc_alg, algorithm, key)) {
        return SignerCheck::kRefusedDigest;
    }
    if (sk_X509_ATTRIBUTE_num(signer->auth_attr) > 0) {
        return VerifyOverAttributes(content, signer, stored, algorithm, key);
    }
    return SignatureVerifies(signer, algorithm, key, content.data(), content.size()) ? SignerCheck::kValid
                                                                                    : SignerCheck::kBadSignature;
}

bool SignerDeclaresContentType(const PKCS7_SIGNER_INFO* signer, Bytes contentTypeOid) {
    // Exactly one contentType attribute with one value, as PKCS #9 has it.
    const STACK_OF(X509_ATTRIBUTE)* attributes = signer == nullptr ? nullptr : signer->auth_attr;
    const int at = X509at_get_attr_by_NID(attributes, NID_pkcs9_contentType, -1);
    if (at < 0 || X509at_get_attr_by_NID(attributes, NID_pkcs9_contentType, at) >= 0) {
        return false;
    }
    X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, at);
    const ASN1_TYPE* declared = X509_ATTRIBUTE_count(attribute) == 1 ? X509_ATTRIBUTE_get0_type(attribute, 0) : nullptr;
    if (declared == nullptr || declared->type != V_ASN1_OBJECT) {
        return false;
    }
    const ASN1_OBJECT* type = declared->value.object;
    const unsigned char* oid = OBJ_get0_data(type);
    return oid != nullptr && SameBytes(Bytes(oid, OBJ_length(type)), contentTypeOid);
}

std::vector<std::uint8_t> SignerIssuer(const PKCS7_SIGNER_INFO* signer) {
    if (signer == nullptr || signer->issuer_and_serial == nullptr) {
        return {};
    }
    return EncodeName(signer->issuer_and_serial->issuer);
}

std::vector<std::uint8_t> SignerSerialLittleEndian(const PKCS7_SIGNER_INFO* signer) {
    if (signer == nullptr || signer->issuer_and_serial == nullptr) {
        return {};
    }
    return SerialToLittleEndian(signer->issuer_and_serial->serial);
}

}  // namespace velto::platform::wintrust
