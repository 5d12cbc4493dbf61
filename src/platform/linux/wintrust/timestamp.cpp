#include "platform/linux/wintrust/timestamp.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include "platform/linux/wintrust/openssl_owners.h"

namespace velto::platform::wintrust {

namespace {

constexpr const char* kRfc3161TimestampOid = "1.3.6.1.4.1.311.3.3.1";

const ASN1_STRING* FindTimestampToken(const PKCS7_SIGNER_INFO* signer) {
    ObjectOwner wanted(OBJ_txt2obj(kRfc3161TimestampOid, 1));
    const int count = sk_X509_ATTRIBUTE_num(signer->unauth_attr);
    for (int index = 0; wanted && index < count; ++index) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, index);
        if (OBJ_cmp(X509_ATTRIBUTE_get0_object(attribute), wanted.get()) != 0) {
            continue;
        }
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (value != nullptr && value->type == V_ASN1_SEQUENCE) {
            return value->value.sequence;
        }
    }
    return nullptr;
}

// The TS verifier takes ownership of the store, the data BIO and what it
// is given; each is handed over only once it exists.
bool TokenVerifies(PKCS7* token, const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    TsVerifyOwner context(TS_VERIFY_CTX_new());
    if (!context) {
        return false;
    }
    BioOwner data(BIO_new_mem_buf(ASN1_STRING_get0_data(signer->enc_digest), ASN1_STRING_length(signer->enc_digest)));
    if (!data || X509_STORE_up_ref(trust) != 1) {
        return false;
    }
    TS_VERIFY_CTX_set_store(context.get(), trust);
    TS_VERIFY_CTX_set_data(context.get(), data.release());
    TS_VERIFY_CTX_set_flags(context.get(), TS_VFY_VERSION | TS_VFY_SIGNATURE | TS_VFY_DATA);
    return TS_RESP_verify_token(context.get(), token) == 1;
}

std::optional<std::time_t> StampedTime(PKCS7* token) {
    TstInfoOwner info(PKCS7_to_TS_TST_INFO(token));
    const ASN1_GENERALIZEDTIME* stamped = info ? TS_TST_INFO_get_time(info.get()) : nullptr;
    std::tm parts{};
    if (stamped == nullptr || ASN1_TIME_to_tm(stamped, &parts) != 1) {
        return std::nullopt;
    }
    return timegm(&parts);
}

}  // namespace

std::optional<std::time_t> VerifiedTimestamp(const PKCS7_SIGNER_INFO* signer, X509_STORE* trust) {
    if (signer == nullptr || signer->enc_digest == nullptr || trust == nullptr) {
        return std::nullopt;
    }
    const ASN1_STRING* encoded = FindTimestampToken(signer);
    if (encoded == nullptr) {
        return std::nullopt;
    }
    const unsigned char* cursor = ASN1_STRING_get0_data(encoded);
    Pkcs7Owner token(d2i_PKCS7(nullptr, &cursor, ASN1_STRING_length(encoded)));
    std::optional<std::time_t> stamped;
    if (token && TokenVerifies(token.get(), signer, trust)) {
        stamped = StampedTime(token.get());
    }
    ERR_clear_error();  // a refused timestamp is an answer, not an error to keep
    return stamped;
}

}  // namespace velto::platform::wintrust
