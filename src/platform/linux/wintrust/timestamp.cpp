#include "platform/linux/wintrust/timestamp.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/openssl_owners.h"
#include "platform/linux/wintrust/signer_signature.h"

namespace velto::platform::wintrust {

namespace {

constexpr const char* kRfc3161TimestampOid = "1.3.6.1.4.1.311.3.3.1";

// The DER of the first unauthenticated attribute of that type whose value
// is a SEQUENCE. Both kinds of timestamp are:
//     countersignature (1.2.840.113549.1.9.6):  SignerInfo
//     RFC 3161 timestamp (1.3.6.1.4.1.311.3.3.1): ContentInfo, whose SignedData
//         encapsulates a TSTInfo ::= SEQUENCE { version, policy,
//         messageImprint MessageImprint, serialNumber, genTime GeneralizedTime, ... }
const ASN1_STRING* FindUnauthenticatedSequence(const PKCS7_SIGNER_INFO* signer, const ASN1_OBJECT* wanted) {
    const int count = sk_X509_ATTRIBUTE_num(signer->unauth_attr);
    for (int index = 0; wanted != nullptr && index < count; ++index) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, index);
        if (OBJ_cmp(X509_ATTRIBUTE_get0_object(attribute), wanted) != 0) {
            continue;
        }
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (value != nullptr && value->type == V_ASN1_SEQUENCE) {
            return value->value.sequence;
        }
    }
    return nullptr;
}

std::optional<std::time_t> ToTime(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return std::nullopt;
    }
    return timegm(&parts);
}

Bytes SignatureValue(const PKCS7_SIGNER_INFO* signer) {
    return Bytes(ASN1_STRING_get0_data(signer->enc_digest), static_cast<std::size_t>(ASN1_STRING_length(signer->enc_digest)));
}

// The TS verifier takes ownership of the store, the data BIO and what it
// is given; each is handed over only once it exists.
bool TokenVerifies(PKCS7* token, const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    TsVerifyOwner context(TS_VERIFY_CTX_new());
    if (!context) {
        return false;
    }
    const Bytes stamped = SignatureValue(signer);
    BioOwner data(BIO_new_mem_buf(stamped.data(), static_cast<int>(stamped.size())));
    if (!data || X509_STORE_up_ref(trust) != 1) {
        return false;
    }
    TS_VERIFY_CTX_set_store(context.get(), trust);
    TS_VERIFY_CTX_set_data(context.get(), data.release());
    TS_VERIFY_CTX_set_flags(context.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
    return TS_RESP_verify_token(context.get(), token) == 1;
}

std::optional<std::time_t> Rfc3161Time(const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    ObjectOwner type(OBJ_txt2obj(kRfc3161TimestampOid, 1));
    const ASN1_STRING* encoded = FindUnauthenticatedSequence(signer, type.get());
    if (encoded == nullptr) {
        return std::nullopt;
    }
    const unsigned char* cursor = ASN1_STRING_get0_data(encoded);
    Pkcs7Owner token(d2i_PKCS7(nullptr, &cursor, ASN1_STRING_length(encoded)));
    if (!token || !TokenVerifies(token.get(), signer, trust)) {
        return std::nullopt;
    }
    TstInfoOwner info(PKCS7_to_TS_TST_INFO(token.get()));
    return info ? ToTime(TS_TST_INFO_get_time(info.get())) : std::nullopt;
}

// The countersigner's chain must reach a trusted root and allow time
// stamping; unlike the code signer's, no problem is tolerated.
bool TrustedForTimestamps(X509* countersigner, const SignedMessage& message, X509_STORE* trust) {
    StoreContextOwner context(X509_STORE_CTX_new());
    return context && X509_STORE_CTX_init(context.get(), trust, countersigner, message.certificates.get()) == 1 &&
           X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_TIMESTAMP_SIGN) == 1 &&
           X509_verify_cert(context.get()) == 1;
}

std::optional<std::time_t> CountersignatureTime(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer,
                                                X509_STORE* trust) {
    const ASN1_STRING* encoded = FindUnauthenticatedSequence(signer, OBJ_nid2obj(NID_pkcs9_countersignature));
    if (encoded == nullptr) {
        return std::nullopt;
    }
    const unsigned char* cursor = ASN1_STRING_get0_data(encoded);
    SignerInfoOwner countersigner(d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, ASN1_STRING_length(encoded)));
    if (!countersigner || countersigner->enc_digest == nullptr) {
        return std::nullopt;
    }
    const int index = FindCertificateByIssuerAndSerial(message.certificates.get(), SignerIssuer(countersigner.get()),
                                                       SignerSerialLittleEndian(countersigner.get()));
    X509* certificate = index < 0 ? nullptr : sk_X509_value(message.certificates.get(), index);
    if (certificate == nullptr ||
        VerifySignerSignature(SignatureValue(signer), countersigner.get(), X509_get0_pubkey(certificate)) !=
            SignerCheck::kValid ||
        !TrustedForTimestamps(certificate, message, trust)) {
        return std::nullopt;
    }
    const ASN1_TYPE* signingTime = PKCS7_get_signed_attribute(countersigner.get(), NID_pkcs9_signingTime);
    const bool isTime = signingTime != nullptr &&
                        (signingTime->type == V_ASN1_UTCTIME || signingTime->type == V_ASN1_GENERALIZEDTIME);
    return isTime ? ToTime(signingTime->value.asn1_string) : std::nullopt;
}

}  // namespace

std::optional<std::time_t> VerifiedTimestamp(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer,
                                             X509_STORE* trust) {
    if (signer == nullptr || signer->enc_digest == nullptr || trust == nullptr) {
        return std::nullopt;
    }
    std::optional<std::time_t> stamped = Rfc3161Time(signer, trust);
    if (!stamped.has_value()) {
        stamped = CountersignatureTime(message, signer, trust);
    }
    ERR_clear_error();  // a refused timestamp is an answer, not an error to keep
    return stamped;
}

}  // namespace velto::platform::wintrust
