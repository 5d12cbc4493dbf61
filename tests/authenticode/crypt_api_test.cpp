// The CryptoAPI functions on their own: what CryptQueryObject accepts, the
// layout of CMSG_SIGNER_INFO, the certificate search, the signature check,
// the fingerprint, and the lifetime of stores and contexts.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "fixture_catalog.h"
#include "platform/win_api.h"

namespace velto::test {
namespace {

struct Opened {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
};

BOOL Query(const std::string& file, Opened& opened) {
    DWORD encoding = 0, content = 0, format = 0;
    return CryptQueryObject(CERT_QUERY_OBJECT_FILE, WideFixturePath(file).c_str(),
                            CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding,
                            &content, &format, &opened.store, &opened.message, nullptr);
}

void Close(Opened& opened) {
    EXPECT_TRUE(CryptMsgClose(opened.message));
    EXPECT_TRUE(CertCloseStore(opened.store, 0));
}

std::vector<BYTE> SignerInfo(HCRYPTMSG message) {
    DWORD size = 0;
    EXPECT_TRUE(CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size));
    std::vector<BYTE> buffer(size);
    EXPECT_TRUE(CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size));
    EXPECT_EQ(size, buffer.size());
    return buffer;
}

PCCERT_CONTEXT FindSigner(const Opened& opened, const CMSG_SIGNER_INFO& signer) {
    CERT_INFO criteria = {};
    criteria.Issuer = signer.Issuer;
    criteria.SerialNumber = signer.SerialNumber;
    return CertFindCertificateInStore(opened.store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                      CERT_FIND_SUBJECT_CERT, &criteria, nullptr);
}

std::string HexOf(const BYTE* bytes, std::size_t length) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// The DER subject of a PEM certificate, read with OpenSSL independently of the layer.
std::vector<BYTE> SubjectOf(const std::string& pemFile) {
    FILE* in = std::fopen(pemFile.c_str(), "r");
    EXPECT_NE(in, nullptr);
    X509* certificate = in ? PEM_read_X509(in, nullptr, nullptr, nullptr) : nullptr;
    if (in) std::fclose(in);
    unsigned char* der = nullptr;
    const int length = certificate ? i2d_X509_NAME(X509_get_subject_name(certificate), &der) : 0;
    std::vector<BYTE> subject(der, der + (length > 0 ? length : 0));
    OPENSSL_free(der);
    X509_free(certificate);
    return subject;
}

bool Inside(const void* pointer, const std::vector<BYTE>& buffer) {
    const auto* at = static_cast<const BYTE*>(pointer);
    return at >= buffer.data() && at < buffer.data() + buffer.size();
}

TEST(CryptQueryObject, RefusesFilesWithoutAReadableSignature) {
    for (const char* file : {"unsigned.exe", "notpe.txt", "mz_truncated.bin", "tampered_certtype.exe",
                             "tampered_dirsize.exe", "tampered_asn1tag.exe"}) {
        Opened opened;
        EXPECT_FALSE(Query(file, opened)) << file;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_NO_MATCH)) << file;
        EXPECT_EQ(opened.store, nullptr);
        EXPECT_EQ(opened.message, nullptr);
    }
}

TEST(CryptQueryObject, RefusesASignatureThatIsNoPkcs7) {
    Opened opened;
    EXPECT_FALSE(Query("tampered_notpkcs7.exe", opened));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_ASN1_BADTAG));
}

TEST(CryptQueryObject, ReadsTheSignatureOfAnImageWithTrailingBytes) {
    Opened opened;
    ASSERT_TRUE(Query("tampered_trailing.exe", opened));
    Close(opened);
}

TEST(CryptQueryObject, MissingFileGivesItsError) {
    Opened opened;
    EXPECT_FALSE(Query("no_such_file.exe", opened));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(CryptMsgGetParam, SignerInfoHasTheIssuerAsDerAndTheSerialLittleEndian) {
    Opened opened;
    ASSERT_TRUE(Query("signed_full.exe", opened));
    const std::vector<BYTE> buffer = SignerInfo(opened.message);
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    // Serial 0x8A1B2C3D4E5F6071: DER 00 8A 1B ... 71, reversed, sign byte kept.
    const std::vector<BYTE> serial{0x71, 0x60, 0x5F, 0x4E, 0x3D, 0x2C, 0x1B, 0x8A, 0x00};
    ASSERT_EQ(signer->SerialNumber.cbData, serial.size());
    EXPECT_EQ(std::memcmp(signer->SerialNumber.pbData, serial.data(), serial.size()), 0);
    const std::vector<BYTE> issuer = SubjectOf(PkiPath("inter.crt"));
    ASSERT_EQ(signer->Issuer.cbData, issuer.size());
    EXPECT_EQ(std::memcmp(signer->Issuer.pbData, issuer.data(), issuer.size()), 0);
    EXPECT_TRUE(Inside(signer->Issuer.pbData, buffer));
    EXPECT_TRUE(Inside(signer->SerialNumber.pbData, buffer));
    EXPECT_STREQ(signer->HashAlgorithm.pszObjId, "2.16.840.1.101.3.4.2.1");
    EXPECT_TRUE(Inside(signer->HashAlgorithm.pszObjId, buffer));
    EXPECT_EQ(signer->EncryptedHash.cbData, 256u);
    EXPECT_GE(signer->AuthAttrs.cAttr, 4u);
    EXPECT_TRUE(Inside(signer->AuthAttrs.rgAttr, buffer));
    Close(opened);
}

TEST(CryptMsgGetParam, TooSmallBufferReportsTheSize) {
    Opened opened;
    ASSERT_TRUE(Query("signed_full.exe", opened));
    DWORD size = 0;
    ASSERT_TRUE(CryptMsgGetParam(opened.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size));
    std::vector<BYTE> buffer(size);
    DWORD offered = size - 1;
    EXPECT_FALSE(CryptMsgGetParam(opened.message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &offered));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(offered, size);
    Close(opened);
}

TEST(CryptMsgGetParam, NoSignerAtTheIndex) {
    Opened opened;
    ASSERT_TRUE(Query("signed_nosigner.exe", opened));
    DWORD size = 0;
    EXPECT_FALSE(CryptMsgGetParam(opened.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_INVALID_INDEX));
    Close(opened);
}

struct SignerCase {
    const char* file;
    const char* signer;
};

void PrintTo(const SignerCase& signer, std::ostream* out) { *out << signer.file; }

class SignerFingerprintTest : public testing::TestWithParam<SignerCase> {};

// The fingerprint over the context's encoded bytes equals what
// 'openssl x509 -outform der | sha256sum' gave when the PKI was made.
TEST_P(SignerFingerprintTest, MatchesOpensslOverTheDerCertificate) {
    Opened opened;
    ASSERT_TRUE(Query(GetParam().file, opened));
    const std::vector<BYTE> buffer = SignerInfo(opened.message);
    PCCERT_CONTEXT certificate = FindSigner(opened, *reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data()));
    ASSERT_NE(certificate, nullptr);
    BYTE fingerprint[32] = {};
    DWORD length = sizeof(fingerprint);
    ASSERT_TRUE(CryptHashCertificate2(L"SHA256", 0, nullptr, certificate->pbCertEncoded,
                                      certificate->cbCertEncoded, fingerprint, &length));
    EXPECT_EQ(HexOf(fingerprint, length), SignerFingerprint(GetParam().signer));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(certificate->pbCertEncoded), certificate->cbCertEncoded),
              ReadWholeFile(PkiPath(std::string(GetParam().signer) + ".der")));
    EXPECT_TRUE(CryptMsgControl(opened.message, 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo));
    EXPECT_TRUE(CertFreeCertificateContext(certificate));
    Close(opened);
}

INSTANTIATE_TEST_SUITE_P(Signers, SignerFingerprintTest,
                         testing::Values(SignerCase{"signed_full.exe", "leaf"}, SignerCase{"signed_self.exe", "self"},
                                         SignerCase{"signed_other.exe", "other"},
                                         SignerCase{"signed_expired.exe", "expired"},
                                         SignerCase{"signed_serverauth.exe", "server"}),
                         [](const testing::TestParamInfo<SignerCase>& caseInfo) { return std::string(caseInfo.param.signer); });

TEST(CertFindCertificateInStore, SerialComparesAsANumberAndIssuerAsBytes) {
    Opened opened;
    ASSERT_TRUE(Query("signed_full.exe", opened));
    std::vector<BYTE> buffer = SignerInfo(opened.message);
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());

    std::vector<BYTE> longSerial(signer->SerialNumber.pbData, signer->SerialNumber.pbData + signer->SerialNumber.cbData);
    longSerial.insert(longSerial.end(), {0x00, 0x00});  // redundant high-order zeros
    CERT_INFO criteria = {};
    criteria.Issuer = signer->Issuer;
    criteria.SerialNumber = {static_cast<DWORD>(longSerial.size()), longSerial.data()};
    PCCERT_CONTEXT found = CertFindCertificateInStore(opened.store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                      CERT_FIND_SUBJECT_CERT, &criteria, nullptr);
    EXPECT_NE(found, nullptr);
    CertFreeCertificateContext(found);

    longSerial[0] ^= 1;
    EXPECT_EQ(CertFindCertificateInStore(opened.store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &criteria,
                                         nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_NOT_FOUND));

    longSerial[0] ^= 1;
    std::vector<BYTE> issuer(signer->Issuer.pbData, signer->Issuer.pbData + signer->Issuer.cbData);
    issuer.back() ^= 0x20;  // same length, one letter's case changed: a different encoding
    criteria.Issuer = {static_cast<DWORD>(issuer.size()), issuer.data()};
    EXPECT_EQ(CertFindCertificateInStore(opened.store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT, &criteria,
                                         nullptr),
              nullptr);
    Close(opened);
}

TEST(CertFindCertificateInStore, ContextOutlivesItsClosedStore) {
    Opened opened;
    ASSERT_TRUE(Query("signed_full.exe", opened));
    const std::vector<BYTE> buffer = SignerInfo(opened.message);
    PCCERT_CONTEXT certificate = FindSigner(opened, *reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data()));
    ASSERT_NE(certificate, nullptr);
    Close(opened);
    BYTE fingerprint[32] = {};
    DWORD length = sizeof(fingerprint);
    EXPECT_TRUE(CryptHashCertificate2(L"SHA256", 0, nullptr, certificate->pbCertEncoded,
                                      certificate->cbCertEncoded, fingerprint, &length));
    EXPECT_EQ(HexOf(fingerprint, length), SignerFingerprint("leaf"));
    EXPECT_TRUE(CertFreeCertificateContext(certificate));
}

struct ControlCase {
    const char* name;
    const char* file;
    DWORD error;
};

void PrintTo(const ControlCase& control, std::ostream* out) { *out << control.file; }

class CryptMsgControlTest : public testing::TestWithParam<ControlCase> {};

TEST_P(CryptMsgControlTest, RefusesASignatureThatDoesNotVerify) {
    Opened opened;
    ASSERT_TRUE(Query(GetParam().file, opened));
    const std::vector<BYTE> buffer = SignerInfo(opened.message);
    PCCERT_CONTEXT certificate = FindSigner(opened, *reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data()));
    ASSERT_NE(certificate, nullptr);
    EXPECT_FALSE(CryptMsgControl(opened.message, 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo));
    EXPECT_EQ(GetLastError(), GetParam().error);
    CertFreeCertificateContext(certificate);
    Close(opened);
}

INSTANTIATE_TEST_SUITE_P(
    Altered, CryptMsgControlTest,
    testing::Values(ControlCase{"SignatureValue", "tampered_sigvalue.exe", static_cast<DWORD>(NTE_BAD_SIGNATURE)},
                    ControlCase{"ContentDigest", "tampered_spcdigest.exe", static_cast<DWORD>(CRYPT_E_HASH_VALUE)}),
    [](const testing::TestParamInfo<ControlCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST(CryptMsgControl, CertificateOfNoSignerIsRefused) {
    Opened full, other;
    ASSERT_TRUE(Query("signed_full.exe", full));
    ASSERT_TRUE(Query("signed_other.exe", other));
    const std::vector<BYTE> buffer = SignerInfo(other.message);
    PCCERT_CONTEXT stranger = FindSigner(other, *reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data()));
    ASSERT_NE(stranger, nullptr);
    EXPECT_FALSE(CryptMsgControl(full.message, 0, CMSG_CTRL_VERIFY_SIGNATURE, stranger->pCertInfo));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(CRYPT_E_SIGNER_NOT_FOUND));
    CertFreeCertificateContext(stranger);
    Close(other);
    Close(full);
}

TEST(CryptHashCertificate2, NamesSizesAndShortBuffers) {
    const BYTE data[] = {'a', 'b', 'c'};
    BYTE hash[64] = {};
    DWORD length = 32;
    ASSERT_TRUE(CryptHashCertificate2(L"sha256", 0, nullptr, data, sizeof(data), hash, &length));
    EXPECT_EQ(HexOf(hash, length), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    length = 31;
    EXPECT_FALSE(CryptHashCertificate2(L"SHA256", 0, nullptr, data, sizeof(data), hash, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(length, 32u);
    length = sizeof(hash);
    EXPECT_FALSE(CryptHashCertificate2(L"MD5", 0, nullptr, data, sizeof(data), hash, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_ALGID));
    length = 0;
    EXPECT_TRUE(CryptHashCertificate2(L"SHA1", 0, nullptr, data, sizeof(data), nullptr, &length));
    EXPECT_EQ(length, 20u);
}

TEST(CryptHandles, ForeignHandlesAreRefused) {
    int notAHandle = 0;
    DWORD size = 0;
    EXPECT_FALSE(CryptMsgGetParam(&notAHandle, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CryptMsgClose(&notAHandle));
    EXPECT_FALSE(CertCloseStore(&notAHandle, 0));
    EXPECT_TRUE(CryptMsgClose(nullptr));
    EXPECT_TRUE(CertCloseStore(nullptr, 0));
    EXPECT_TRUE(CertFreeCertificateContext(nullptr));
}

}  // namespace
}  // namespace velto::test
