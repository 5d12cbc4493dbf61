#include "release/certificate_file.h"

#include <cstdint>

#include "base/scoped_owner.h"
#include "release/pem_text.h"

namespace {

constexpr unsigned char kSequenceTag = 0x30;
constexpr unsigned kLongLengthFlag = 0x80;
constexpr unsigned kMostLengthBytes = 4;

// True when der is one DER SEQUENCE and nothing after it: CryptoAPI is not
// relied on to refuse bytes after a certificate.
bool IsOneSequence(const std::string& der) {
    if (der.size() < 2 || static_cast<unsigned char>(der[0]) != kSequenceTag) return false;
    const auto first = static_cast<unsigned char>(der[1]);
    std::uint64_t length = first;
    std::size_t header = 2;
    if ((first & kLongLengthFlag) != 0) {
        const unsigned lengthBytes = first & ~kLongLengthFlag;
        if (lengthBytes == 0 || lengthBytes > kMostLengthBytes || der.size() < 2 + lengthBytes) return false;
        length = 0;
        for (unsigned index = 0; index < lengthBytes; ++index) {
            length = length << 8 | static_cast<unsigned char>(der[2 + index]);
        }
        header += lengthBytes;
    }
    return der.size() - header == length;
}

// True when der is one X.509 certificate and nothing else, as CryptoAPI
// decodes it.
bool IsSingleCertificate(const std::string& der) {
    if (!IsOneSequence(der)) return false;
    const ScopedCertContext certificate(CertCreateCertificateContext(
        X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
        static_cast<DWORD>(der.size())));
    return static_cast<bool>(certificate);
}

}  // namespace

bool ReadCertificateFile(const std::string& content, std::string& der, std::string& error) {
    if (content.find("-----BEGIN") != std::string::npos) {
        const int count = ReadPemCertificates(content, der);
        if (count > 1) {
            error = "holds " + std::to_string(count) + " certificates; give the release signing certificate alone";
            return false;
        }
        if (count == 0) {
            error = "holds no PEM certificate";
            return false;
        }
    } else {
        der = content;
    }
    if (!IsSingleCertificate(der)) {
        error = kNotACertificate;
        return false;
    }
    return true;
}
