#include "platform/linux/wintrust/signed_message.h"

#include <algorithm>
#include <climits>

namespace velto::platform::wintrust {

namespace {

// ContentInfo ::= SEQUENCE {
//     contentType  ContentType,                -- signedData here
//     content      [0] EXPLICIT ANY DEFINED BY contentType }
// Returns the SignedData's contents.
bool OpenContentInfo(Bytes der, Bytes& signedData) {
    DerElement contentInfo, type, wrapper, body;
    Bytes whole = der;
    if (!ReadDerElementWithTag(whole, der_tag::kSequence, contentInfo) || !whole.empty()) {
        return false;
    }
    Bytes fields = contentInfo.content;
    if (!ReadDerElementWithTag(fields, der_tag::kObjectIdentifier, type) ||
        !SameBytes(type.content, kOidSignedData) ||
        !ReadDerElementWithTag(fields, der_tag::kContextZero, wrapper)) {
        return false;
    }
    Bytes inner = wrapper.content;
    if (!ReadDerElementWithTag(inner, der_tag::kSequence, body) || !inner.empty()) {
        return false;
    }
    signedData = body.content;
    return true;
}

// ContentInfo ::= SEQUENCE {
//     contentType  ContentType,                -- SpcIndirectDataContent's
//     content      [0] EXPLICIT ANY DEFINED BY contentType OPTIONAL }
// The encapsulated content: its type, and the contents octets of the one
// element inside [0] EXPLICIT, which is what the messageDigest covers.
bool ReadEncapsulatedContent(const DerElement& contentInfo, SignedMessage& message) {
    DerElement type, wrapper, value;
    Bytes fields = contentInfo.content;
    if (!ReadDerElementWithTag(fields, der_tag::kObjectIdentifier, type)) {
        return false;
    }
    message.contentType = type.content;
    if (fields.empty()) {
        return true;
    }
    if (!ReadDerElementWithTag(fields, der_tag::kContextZero, wrapper) || !fields.empty()) {
        return false;
    }
    Bytes inner = wrapper.content;
    if (!ReadDerElement(inner, value) || !inner.empty()) {
        return false;
    }
    message.contentTag = value.tag;
    message.content = value.content;
    return true;
}

// ExtendedCertificatesAndCertificates ::= SET OF ExtendedCertificateOrCertificate
// Only plain X.509 Certificates (SEQUENCEs) are taken; the extended form is
// obsolete.
bool ReadCertificates(Bytes set, SignedMessage& message) {
    message.certificates.reset(sk_X509_new_null());
    if (!message.certificates) {
        return false;
    }
    while (!set.empty()) {
        DerElement certificate;
        if (!ReadDerElementWithTag(set, der_tag::kSequence, certificate)) {
            return false;
        }
        const unsigned char* cursor = certificate.whole.data();
        X509Owner parsed(d2i_X509(nullptr, &cursor, static_cast<long>(certificate.whole.size())));
        if (!parsed || cursor != certificate.whole.data() + certificate.whole.size() ||
            sk_X509_push(message.certificates.get(), parsed.get()) == 0) {
            return false;
        }
        parsed.release();  // now owned by the stack
        message.certificateEncodings.push_back(certificate.whole);
    }
    return true;
}

// SignedData ::= SEQUENCE {
//     version           Version,
//     digestAlgorithms  DigestAlgorithmIdentifiers,
//     contentInfo       ContentInfo,
//     certificates      [0] IMPLICIT ExtendedCertificatesAndCertificates OPTIONAL,
//     crls              [1] IMPLICIT CertificateRevocationLists OPTIONAL,
//     signerInfos       SignerInfos }
// The signer infos themselves are read through OpenSSL's parse of the
// same bytes.
bool SliceSignedData(Bytes signedData, SignedMessage& message) {
    DerElement version, digestAlgorithms, contentInfo, element;
    if (!ReadDerElementWithTag(signedData, der_tag::kInteger, version) ||
        !ReadDerElementWithTag(signedData, der_tag::kSet, digestAlgorithms) ||
        !ReadDerElementWithTag(signedData, der_tag::kSequence, contentInfo) ||
        !ReadEncapsulatedContent(contentInfo, message)) {
        return false;
    }
    Bytes certificates;
    if (ReadDerElementWithTag(signedData, der_tag::kContextZero, element)) {
        certificates = element.content;
    }
    // Revocation lists may follow; they play no part without revocation checks.
    if (!signedData.empty() && signedData[0] == der_tag::kContextOne && !ReadDerElement(signedData, element)) {
        return false;
    }
    if (!ReadDerElementWithTag(signedData, der_tag::kSet, element) || !signedData.empty()) {
        return false;
    }
    for (Bytes signers = element.content; !signers.empty();) {
        DerElement signer;
        if (!ReadDerElementWithTag(signers, der_tag::kSequence, signer)) {
            return false;
        }
        message.signerEncodings.push_back(signer.whole);
    }
    return ReadCertificates(certificates, message);
}

}  // namespace

bool SameBytes(Bytes left, Bytes right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end());
}

bool ParseSignedMessage(std::vector<std::uint8_t> der, SignedMessage& message) {
    message.der = std::move(der);
    if (message.der.empty() || message.der.size() > static_cast<std::size_t>(LONG_MAX)) {
        return false;
    }
    const unsigned char* cursor = message.der.data();
    message.pkcs7.reset(d2i_PKCS7(nullptr, &cursor, static_cast<long>(message.der.size())));
    if (!message.pkcs7 || PKCS7_type_is_signed(message.pkcs7.get()) == 0 ||
        message.pkcs7->d.sign == nullptr) {
        return false;
    }
    Bytes signedData;
    // The stored signers must be the ones OpenSSL read, one for one.
    return OpenContentInfo(message.der, signedData) && SliceSignedData(signedData, message) &&
           message.signerEncodings.size() == static_cast<std::size_t>(SignerCount(message));
}

int SignerCount(const SignedMessage& message) {
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(message.pkcs7.get());
    return signers == nullptr ? 0 : sk_PKCS7_SIGNER_INFO_num(signers);
}

PKCS7_SIGNER_INFO* SignerAt(const SignedMessage& message, int index) {
    if (index < 0 || index >= SignerCount(message)) {
        return nullptr;
    }
    return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(message.pkcs7.get()), index);
}

Bytes SignerEncodingAt(const SignedMessage& message, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= message.signerEncodings.size()) {
        return {};
    }
    return message.signerEncodings[static_cast<std::size_t>(index)];
}

}  // namespace velto::platform::wintrust
