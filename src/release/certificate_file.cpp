#include "release/certificate_file.h"

#include <cstring>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "platform/linux/wintrust/openssl_owners.h"

namespace {

using velto::platform::wintrust::BioOwner;
using velto::platform::wintrust::X509Owner;

// Every CERTIFICATE block of a PEM text, counted; the first one decoded
// into der. Other blocks (keys, parameters) are passed over.
int ReadPemCertificates(const std::string& content, std::string& der) {
    BioOwner bio(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    int count = 0;
    for (;;) {
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long length = 0;
        if (bio == nullptr || PEM_read_bio(bio.get(), &name, &header, &data, &length) != 1) break;
        if (std::strcmp(name, PEM_STRING_X509) == 0 && ++count == 1) {
            der.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
        }
        OPENSSL_free(name);
        OPENSSL_free(header);
        OPENSSL_free(data);
    }
    ERR_clear_error();  // the end of the text is reported as an error
    return count;
}

// True when der is one X.509 certificate and nothing else.
bool IsSingleCertificate(const std::string& der) {
    const auto* start = reinterpret_cast<const unsigned char*>(der.data());
    const unsigned char* cursor = start;
    X509Owner certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    ERR_clear_error();
    return certificate != nullptr && cursor == start + der.size();
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
