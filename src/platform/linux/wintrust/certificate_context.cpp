#include "platform/linux/wintrust/certificate_context.h"

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include "platform/linux/wintrust/certificate_match.h"

namespace velto::platform::wintrust {

namespace {

bool ObjectText(const ASN1_OBJECT* object, std::string& text) {
    char buffer[128];
    const int length = OBJ_obj2txt(buffer, sizeof(buffer), object, 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(buffer)) {
        return false;
    }
    text.assign(buffer, static_cast<std::size_t>(length));
    return true;
}

// SubjectPublicKeyInfo ::= SEQUENCE {
//     algorithm         AlgorithmIdentifier,
//     subjectPublicKey  BIT STRING }
bool DescribePublicKey(X509* certificate, CertificateData& data) {
    const unsigned char* key = nullptr;
    int keyLength = 0;
    X509_ALGOR* algorithm = nullptr;
    if (X509_PUBKEY_get0_param(nullptr, &key, &keyLength, &algorithm, X509_get_X509_PUBKEY(certificate)) != 1 ||
        keyLength < 0) {
        return false;
    }
    data.publicKey.assign(key, key + keyLength);
    return SplitAlgorithm(algorithm, data.keyAlgorithm, data.keyParameters);
}

CRYPTOAPI_BLOB BlobOf(std::vector<std::uint8_t>& bytes) {
    return {static_cast<DWORD>(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
}

}  // namespace

// AlgorithmIdentifier ::= SEQUENCE {
//     algorithm   OBJECT IDENTIFIER,
//     parameters  ANY DEFINED BY algorithm OPTIONAL }
bool SplitAlgorithm(const X509_ALGOR* algorithm, std::string& oid, std::vector<std::uint8_t>& parameters) {
    unsigned char* encoded = nullptr;
    const int length = algorithm == nullptr ? -1 : i2d_X509_ALGOR(algorithm, &encoded);
    bool ok = false;
    if (length > 0) {
        Bytes whole(encoded, static_cast<std::size_t>(length));
        DerElement sequence, identifier;
        if (ReadDerElementWithTag(whole, der_tag::kSequence, sequence)) {
            Bytes fields = sequence.content;
            ok = ReadDerElementWithTag(fields, der_tag::kObjectIdentifier, identifier);
            parameters.assign(fields.begin(), fields.end());
        }
    }
    OPENSSL_free(encoded);
    const ASN1_OBJECT* object = nullptr;
    if (ok) {
        X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
    }
    return ok && ObjectText(object, oid);
}

bool DescribeCertificate(X509* certificate, Bytes encoded, CertificateData& data) {
    data.encoded.assign(encoded.begin(), encoded.end());
    data.serial = SerialToLittleEndian(X509_get0_serialNumber(certificate));
    data.issuer = EncodeName(X509_get_issuer_name(certificate));
    data.subject = EncodeName(X509_get_subject_name(certificate));
    return !data.serial.empty() && !data.issuer.empty() && !data.subject.empty() &&
           DescribePublicKey(certificate, data);
}

void FillCertificateContext(CertificateData& data, StoreRecord* store, CERT_CONTEXT& context, CERT_INFO& info) {
    info = CERT_INFO{};
    info.SerialNumber = BlobOf(data.serial);
    info.Issuer = BlobOf(data.issuer);
    info.Subject = BlobOf(data.subject);
    info.SubjectPublicKeyInfo.Algorithm = {data.keyAlgorithm.data(), BlobOf(data.keyParameters)};
    info.SubjectPublicKeyInfo.PublicKey = {static_cast<DWORD>(data.publicKey.size()), data.publicKey.data(), 0};
    context.dwCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    context.pbCertEncoded = data.encoded.data();
    context.cbCertEncoded = static_cast<DWORD>(data.encoded.size());
    context.pCertInfo = &info;
    context.hCertStore = store;
}

}  // namespace velto::platform::wintrust
