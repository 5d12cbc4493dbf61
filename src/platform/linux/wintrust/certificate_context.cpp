#include "platform/linux/wintrust/certificate_context.h"

#include <ctime>

#include <openssl/crypto.h>
#include <openssl/objects.h>

#include "platform/linux/wintrust/certificate_match.h"

namespace velto::platform::wintrust {

namespace {

constexpr std::uint64_t kUnixEpochInFileTimeSeconds = 11644473600ULL;
constexpr std::uint64_t kFileTimeTicksPerSecond = 10000000ULL;

bool ObjectText(const ASN1_OBJECT* object, std::string& text) {
    char buffer[128];
    const int length = OBJ_obj2txt(buffer, sizeof(buffer), object, 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(buffer)) {
        return false;
    }
    text.assign(buffer, static_cast<std::size_t>(length));
    return true;
}

FILETIME ToFileTime(const ASN1_TIME* time) {
    std::tm parts{};
    FILETIME result{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return result;
    }
    const std::int64_t seconds = static_cast<std::int64_t>(timegm(&parts)) +
                                 static_cast<std::int64_t>(kUnixEpochInFileTimeSeconds);
    const std::uint64_t ticks = seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds) * kFileTimeTicksPerSecond;
    result.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return result;
}

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

bool DescribeExtensions(X509* certificate, CertificateData& data) {
    const int count = X509_get_ext_count(certificate);
    for (int index = 0; index < count; ++index) {
        X509_EXTENSION* extension = X509_get_ext(certificate, index);
        std::string oid;
        if (!ObjectText(X509_EXTENSION_get_object(extension), oid)) {
            return false;
        }
        const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(extension);
        const unsigned char* bytes = ASN1_STRING_get0_data(value);
        data.extensionOids.push_back(oid);
        data.extensionValues.emplace_back(bytes, bytes + ASN1_STRING_length(value));
    }
    // Pointers into the strings are taken only once both lists are complete.
    for (int index = 0; index < count; ++index) {
        const auto at = static_cast<std::size_t>(index);
        CERT_EXTENSION extension{};
        extension.pszObjId = data.extensionOids[at].data();
        extension.fCritical = X509_EXTENSION_get_critical(X509_get_ext(certificate, index)) > 0 ? TRUE : FALSE;
        extension.Value = {static_cast<DWORD>(data.extensionValues[at].size()), data.extensionValues[at].data()};
        data.extensions.push_back(extension);
    }
    return true;
}

CRYPTOAPI_BLOB BlobOf(std::vector<std::uint8_t>& bytes) {
    return {static_cast<DWORD>(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
}

}  // namespace

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
    data.version = static_cast<DWORD>(X509_get_version(certificate));
    data.notBefore = ToFileTime(X509_get0_notBefore(certificate));
    data.notAfter = ToFileTime(X509_get0_notAfter(certificate));
    data.serial = SerialToLittleEndian(X509_get0_serialNumber(certificate));
    data.issuer = EncodeName(X509_get_issuer_name(certificate));
    data.subject = EncodeName(X509_get_subject_name(certificate));
    return !data.serial.empty() && !data.issuer.empty() && !data.subject.empty() &&
           SplitAlgorithm(X509_get0_tbs_sigalg(certificate), data.signatureAlgorithm, data.signatureParameters) &&
           DescribePublicKey(certificate, data) && DescribeExtensions(certificate, data);
}

void FillCertificateContext(CertificateData& data, StoreRecord* store, CERT_CONTEXT& context, CERT_INFO& info) {
    info = CERT_INFO{};
    info.dwVersion = data.version;
    info.SerialNumber = BlobOf(data.serial);
    info.SignatureAlgorithm = {data.signatureAlgorithm.data(), BlobOf(data.signatureParameters)};
    info.Issuer = BlobOf(data.issuer);
    info.NotBefore = data.notBefore;
    info.NotAfter = data.notAfter;
    info.Subject = BlobOf(data.subject);
    info.SubjectPublicKeyInfo.Algorithm = {data.keyAlgorithm.data(), BlobOf(data.keyParameters)};
    info.SubjectPublicKeyInfo.PublicKey = {static_cast<DWORD>(data.publicKey.size()), data.publicKey.data(), 0};
    info.cExtension = static_cast<DWORD>(data.extensions.size());
    info.rgExtension = data.extensions.empty() ? nullptr : data.extensions.data();
    context.dwCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    context.pbCertEncoded = data.encoded.data();
    context.cbCertEncoded = static_cast<DWORD>(data.encoded.size());
    context.pCertInfo = &info;
    context.hCertStore = store;
}

}  // namespace velto::platform::wintrust
