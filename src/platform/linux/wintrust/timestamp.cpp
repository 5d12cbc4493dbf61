#include "platform/linux/wintrust/timestamp.h"

#include <optional>
#include <vector>

#include <openssl/err.h>
#include <openssl/objects.h>

#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/chain_policy.h"
#include "platform/linux/wintrust/openssl_owners.h"
#include "platform/linux/wintrust/signer_signature.h"

namespace velto::platform::wintrust {

namespace {

constexpr const char* kRfc3161TimestampOid = "1.3.6.1.4.1.311.3.3.1";

constexpr Timestamp kInvalidTimestamp{TimestampResult::kInvalid, 0};

// The first unauthenticated attribute of a type, and its value when that
// is exactly one SEQUENCE. Both kinds of timestamp are:
//     countersignature (1.2.840.113549.1.9.6):  SignerInfo
//     RFC 3161 timestamp (1.3.6.1.4.1.311.3.3.1): ContentInfo, whose SignedData
//         encapsulates a TSTInfo ::= SEQUENCE { version, policy,
//         messageImprint MessageImprint, serialNumber, genTime GeneralizedTime, ... }
struct AttributeValue {
    bool present = false;
    const ASN1_STRING* sequence = nullptr;  // the value's whole encoding, as stored
};

AttributeValue FindUnauthenticated(const PKCS7_SIGNER_INFO* signer, const ASN1_OBJECT* wanted) {
    const int count = sk_X509_ATTRIBUTE_num(signer->unauth_attr);
    for (int index = 0; wanted != nullptr && index < count; ++index) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, index);
        if (OBJ_cmp(X509_ATTRIBUTE_get0_object(attribute), wanted) != 0) {
            continue;
        }
        const ASN1_TYPE* value =
            X509_ATTRIBUTE_count(attribute) == 1 ? X509_ATTRIBUTE_get0_type(attribute, 0) : nullptr;
        return {true, value != nullptr && value->type == V_ASN1_SEQUENCE ? value->value.sequence : nullptr};
    }
    return {};
}

Bytes StringBytes(const ASN1_STRING* string) {
    return Bytes(ASN1_STRING_get0_data(string), static_cast<std::size_t>(ASN1_STRING_length(string)));
}

std::optional<std::time_t> ToTime(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return std::nullopt;
    }
    return timegm(&parts);
}

// The timestamp's signer's certificate, found among certificates, once its
// signature over content verifies with it.
X509* VerifiedAuthority(Bytes content, const PKCS7_SIGNER_INFO* stamper, Bytes stored, STACK_OF(X509)* certificates) {
    const int index =
        FindCertificateByIssuerAndSerial(certificates, SignerIssuer(stamper), SignerSerialLittleEndian(stamper));
    X509* certificate = index < 0 ? nullptr : sk_X509_value(certificates, index);
    return certificate != nullptr &&
                   VerifySignerSignature(content, stamper, stored, X509_get0_pubkey(certificate)) == SignerCheck::kValid
               ? certificate
               : nullptr;
}

// Unlike the code signer's chain, the authority's may have no problem at all.
bool TrustedAt(X509* authority, STACK_OF(X509)* certificates, X509_STORE* trust, std::time_t stamped) {
    const ChainOutcome outcome = CheckChain(authority, certificates, trust, stamped, ChainUsage::kTimeStamping);
    return ChainErrorBits(outcome) == CERT_TRUST_NO_ERROR;
}

// The token's version, and its message imprint: the digest of exactly this
// signature value. The TS verifier takes ownership of the data BIO.
bool CoversSignature(PKCS7* token, Bytes signatureValue) {
    TsVerifyOwner context(TS_VERIFY_CTX_new());
    BioOwner data(BIO_new_mem_buf(signatureValue.data(), static_cast<int>(signatureValue.size())));
    if (!context || !data) {
        return false;
    }
    TS_VERIFY_CTX_set_data(context.get(), data.release());
    TS_VERIFY_CTX_set_flags(context.get(), TS_VFY_VERSION | TS_VFY_DATA);
    return TS_RESP_verify_token(context.get(), token) == 1;
}

Timestamp Rfc3161Timestamp(const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    ObjectOwner type(OBJ_txt2obj(kRfc3161TimestampOid, 1));
    const AttributeValue value = FindUnauthenticated(signer, type.get());
    if (!value.present) {
        return {};
    }
    if (value.sequence == nullptr) {
        return kInvalidTimestamp;
    }
    SignedMessage token;
    const Bytes encoded = StringBytes(value.sequence);
    if (!ParseSignedMessage(std::vector<std::uint8_t>(encoded.begin(), encoded.end()), token) ||
        SignerCount(token) != 1 || !CoversSignature(token.pkcs7.get(), StringBytes(signer->enc_digest))) {
        return kInvalidTimestamp;
    }
    TstInfoOwner info(PKCS7_to_TS_TST_INFO(token.pkcs7.get()));
    std::optional<std::time_t> stamped;
    if (info) stamped = ToTime(TS_TST_INFO_get_time(info.get()));
    X509* authority =
        VerifiedAuthority(token.content, SignerAt(token, 0), SignerEncodingAt(token, 0), token.certificates.get());
    if (!stamped.has_value() || authority == nullptr ||
        !TrustedAt(authority, token.certificates.get(), trust, *stamped)) {
        return kInvalidTimestamp;
    }
    return {TimestampResult::kVerified, *stamped};
}

std::optional<std::time_t> SigningTime(const PKCS7_SIGNER_INFO* countersigner) {
    const ASN1_TYPE* signingTime = PKCS7_get_signed_attribute(countersigner, NID_pkcs9_signingTime);
    const bool isTime = signingTime != nullptr &&
                        (signingTime->type == V_ASN1_UTCTIME || signingTime->type == V_ASN1_GENERALIZEDTIME);
    return isTime ? ToTime(signingTime->value.asn1_string) : std::nullopt;
}

Timestamp CountersignatureTimestamp(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    const AttributeValue value = FindUnauthenticated(signer, OBJ_nid2obj(NID_pkcs9_countersignature));
    if (!value.present) {
        return {};
    }
    if (value.sequence == nullptr) {
        return kInvalidTimestamp;
    }
    const Bytes stored = StringBytes(value.sequence);
    const unsigned char* cursor = stored.data();
    SignerInfoOwner countersigner(d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, static_cast<long>(stored.size())));
    if (!countersigner || cursor != stored.data() + stored.size() || countersigner->enc_digest == nullptr) {
        return kInvalidTimestamp;
    }
    const std::optional<std::time_t> stamped = SigningTime(countersigner.get());
    X509* authority =
        VerifiedAuthority(StringBytes(signer->enc_digest), countersigner.get(), stored, message.certificates.get());
    if (!stamped.has_value() || authority == nullptr ||
        !TrustedAt(authority, message.certificates.get(), trust, *stamped)) {
        return kInvalidTimestamp;
    }
    return {TimestampResult::kVerified, *stamped};
}

}  // namespace

Timestamp CheckTimestamp(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    if (signer == nullptr || signer->enc_digest == nullptr || trust == nullptr) {
        return {};
    }
    const Timestamp token = Rfc3161Timestamp(signer, trust);
    const Timestamp legacy = CountersignatureTimestamp(message, signer, trust);
    ERR_clear_error();  // a refused timestamp is an answer, not an error to keep
    if (token.result == TimestampResult::kInvalid || legacy.result == TimestampResult::kInvalid) {
        return kInvalidTimestamp;
    }
    return token.result == TimestampResult::kVerified ? token : legacy;
}

}  // namespace velto::platform::wintrust
