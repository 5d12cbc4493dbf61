#include "release/pin_source.h"

#include "release/certificate_file.h"
#include "release/tool_output.h"
#include "verify/installer_signature.h"

namespace {

// Larger than any certificate; a larger file that is no program is none.
constexpr std::uint64_t kCertificateFileLimit = 1 << 20;

bool StartsWithMz(const NamedFile& named) {
    std::string start;
    return ReadNamedFileStart(named, 2, start) && start == "MZ";
}

}  // namespace

bool ReadSignerPin(const std::wstring& path, std::wstring& pin, std::wstring& errorText) {
    EmbeddedSignature signature;
    return FingerprintEmbeddedSigner(path, signature, pin, errorText);
}

bool ReadPin(const NamedFile& file, std::wstring& pin, std::string& error) {
    if (StartsWithMz(file)) {
        std::wstring errorText;
        if (ReadSignerPin(file.path, pin, errorText)) return true;
        error = ToUtf8(errorText);
        return false;
    }
    std::string content;
    std::string der;
    if (!ReadNamedFile(file, kCertificateFileLimit, content)) {
        error = kNotACertificate;
        return false;
    }
    if (!ReadCertificateFile(content, der, error)) return false;
    if (!FingerprintCertificate(reinterpret_cast<const std::uint8_t*>(der.data()), der.size(), pin)) {
        error = "the platform could not compute the certificate's SHA-256 fingerprint";
        return false;
    }
    return true;
}
