#include "platform/linux/wintrust/indirect_data.h"

#include "platform/linux/wintrust/digest_policy.h"
#include "platform/linux/wintrust/openssl_owners.h"
#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

namespace {

// SpcAttributeTypeAndOptionalValue ::= SEQUENCE {
//     type   OBJECT IDENTIFIER,
//     value  ANY DEFINED BY type OPTIONAL }   -- SpcPeImageData, not read
// The subject kind must be a PE image.
bool NamesPeImage(const DerElement& attribute) {
    DerElement type;
    Bytes fields = attribute.content;
    return ReadDerElementWithTag(fields, der_tag::kObjectIdentifier, type) &&
           SameBytes(type.content, kOidSpcPeImageData);
}

// DigestInfo ::= SEQUENCE {
//     digestAlgorithm  AlgorithmIdentifier,
//     digest           OCTET STRING }
IndirectDataResult ReadDigestInfo(const DerElement& digestInfo, IndirectData& data) {
    const unsigned char* cursor = digestInfo.whole.data();
    X509SigOwner parsed(d2i_X509_SIG(nullptr, &cursor, static_cast<long>(digestInfo.whole.size())));
    if (!parsed || cursor != digestInfo.whole.data() + digestInfo.whole.size()) {
        return IndirectDataResult::kMalformed;
    }
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_get0(parsed.get(), &algorithm, &digest);
    data.digestAlgorithm = AcceptedDigest(algorithm);
    if (data.digestAlgorithm == nullptr) {
        return IndirectDataResult::kUnsupportedDigest;
    }
    if (ASN1_STRING_length(digest) != EVP_MD_get_size(data.digestAlgorithm)) {
        return IndirectDataResult::kMalformed;
    }
    const unsigned char* bytes = ASN1_STRING_get0_data(digest);
    data.digest.assign(bytes, bytes + ASN1_STRING_length(digest));
    return IndirectDataResult::kPeImage;
}

}  // namespace

// SpcIndirectDataContent ::= SEQUENCE {
//     data           SpcAttributeTypeAndOptionalValue,
//     messageDigest  DigestInfo }
IndirectDataResult ReadIndirectData(Bytes contentType, Bytes content, IndirectData& data) {
    if (!SameBytes(contentType, kOidSpcIndirectData)) {
        return IndirectDataResult::kMalformed;
    }
    DerElement attribute, digestInfo;
    if (!ReadDerElementWithTag(content, der_tag::kSequence, attribute) || !NamesPeImage(attribute) ||
        !ReadDerElementWithTag(content, der_tag::kSequence, digestInfo) || !content.empty()) {
        return IndirectDataResult::kMalformed;
    }
    return ReadDigestInfo(digestInfo, data);
}

}  // namespace velto::platform::wintrust
