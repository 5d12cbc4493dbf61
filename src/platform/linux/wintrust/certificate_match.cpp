#include "platform/linux/wintrust/certificate_match.h"

#include <algorithm>

#include <openssl/crypto.h>

namespace velto::platform::wintrust {

namespace {

std::vector<std::uint8_t> EncodeWith(int length, unsigned char* encoded) {
    std::vector<std::uint8_t> bytes;
    if (length > 0 && encoded != nullptr) {
        bytes.assign(encoded, encoded + length);
    }
    OPENSSL_free(encoded);
    return bytes;
}

// Drops the high-order bytes that only repeat the sign.
Bytes Significant(Bytes littleEndian) {
    std::size_t length = littleEndian.size();
    while (length > 1) {
        const std::uint8_t top = littleEndian[length - 1];
        const bool nextIsNegative = (littleEndian[length - 2] & 0x80) != 0;
        if ((top == 0x00 && !nextIsNegative) || (top == 0xFF && nextIsNegative)) {
            --length;
        } else {
            break;
        }
    }
    return littleEndian.first(length);
}

}  // namespace

std::vector<std::uint8_t> EncodeName(const X509_NAME* name) {
    unsigned char* encoded = nullptr;
    const int length = name == nullptr ? -1 : i2d_X509_NAME(name, &encoded);
    return EncodeWith(length, encoded);
}

// CertificateSerialNumber ::= INTEGER   -- DER: big-endian two's complement
// CryptoAPI keeps it little-endian.
std::vector<std::uint8_t> SerialToLittleEndian(const ASN1_INTEGER* serial) {
    unsigned char* encoded = nullptr;
    const int length = serial == nullptr ? -1 : i2d_ASN1_INTEGER(serial, &encoded);
    const std::vector<std::uint8_t> der = EncodeWith(length, encoded);
    Bytes input = der;
    DerElement element;
    if (!ReadDerElementWithTag(input, der_tag::kInteger, element)) {
        return {};
    }
    return std::vector<std::uint8_t>(element.content.rbegin(), element.content.rend());
}

bool IntegerBlobsEqual(Bytes left, Bytes right) {
    const Bytes a = Significant(left);
    const Bytes b = Significant(right);
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

bool CertificateHasIssuerAndSerial(X509* certificate, Bytes issuer, Bytes serialLittleEndian) {
    const std::vector<std::uint8_t> ownIssuer = EncodeName(X509_get_issuer_name(certificate));
    if (ownIssuer.empty() || !std::equal(ownIssuer.begin(), ownIssuer.end(), issuer.begin(), issuer.end())) {
        return false;
    }
    const std::vector<std::uint8_t> ownSerial = SerialToLittleEndian(X509_get0_serialNumber(certificate));
    return !ownSerial.empty() && IntegerBlobsEqual(ownSerial, serialLittleEndian);
}

int FindCertificateByIssuerAndSerial(STACK_OF(X509)* certificates, Bytes issuer, Bytes serialLittleEndian) {
    const int count = certificates == nullptr ? 0 : sk_X509_num(certificates);
    for (int index = 0; index < count; ++index) {
        if (CertificateHasIssuerAndSerial(sk_X509_value(certificates, index), issuer, serialLittleEndian)) {
            return index;
        }
    }
    return -1;
}

}  // namespace velto::platform::wintrust
