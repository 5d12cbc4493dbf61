#include "fixture_catalog.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace velto::test {

namespace {

constexpr const wchar_t* kAccepted = nullptr;
constexpr const wchar_t* kNoSignature = L"The downloaded Velto setup has no readable Authenticode signature.";
constexpr const wchar_t* kNoSignerInfo = L"Could not read the Velto setup signer information.";
constexpr const wchar_t* kNoCertificate = L"Could not locate the embedded Velto setup signing certificate.";
constexpr const wchar_t* kInvalid = L"The Velto setup signature is cryptographically invalid.";
constexpr const wchar_t* kModified = L"Security check failed: the signed Velto setup was modified after signing.";
constexpr const wchar_t* kUnsigned = L"Security check failed: the Velto setup is unsigned.";
constexpr const wchar_t* kExpired = L"Windows rejected the Velto setup signature (0x800B0101).";
constexpr const wchar_t* kWrongUsage = L"Windows rejected the Velto setup signature (0x800B0110).";

constexpr LONG kOk = 0;

}  // namespace

const std::vector<FixtureCase>& FixtureCatalog() {
    static const std::vector<FixtureCase> catalog{
        // file                               signer     test root trusted                         nothing trusted
        {"signed_full.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_full_pe32.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_mingw.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_odd.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_overlay.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_sha1.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"dual_signed.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_nointer.exe", "leaf", {CERT_E_CHAINING, kAccepted}, {CERT_E_CHAINING, kAccepted}},
        {"signed_self.exe", "self", {CERT_E_UNTRUSTEDROOT, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_other.exe", "other", {CERT_E_UNTRUSTEDROOT, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        // Expiry and wrong usage rank above an untrusted root (chain_policy.cpp). Without a trusted
        // root the timestamp authority cannot be trusted either, so the signer is judged now.
        {"signed_expired.exe", "expired", {CERT_E_EXPIRED, kExpired}, {CERT_E_EXPIRED, kExpired}},
        {"signed_expired_timestamped.exe", "expired", {kOk, kAccepted}, {CERT_E_EXPIRED, kExpired}},
        {"signed_serverauth.exe", "server", {CERT_E_WRONG_USAGE, kWrongUsage}, {CERT_E_WRONG_USAGE, kWrongUsage}},
        {"tampered_code.exe", "leaf", {TRUST_E_BAD_DIGEST, kModified}, {TRUST_E_BAD_DIGEST, kModified}},
        {"tampered_overlay.exe", "leaf", {TRUST_E_BAD_DIGEST, kModified}, {TRUST_E_BAD_DIGEST, kModified}},
        {"tampered_sigvalue.exe", "leaf", {TRUST_E_CERT_SIGNATURE, kInvalid}, {TRUST_E_CERT_SIGNATURE, kInvalid}},
        {"tampered_spcdigest.exe", "leaf", {TRUST_E_BAD_DIGEST, kInvalid}, {TRUST_E_BAD_DIGEST, kInvalid}},
        {"tampered_asn1tag.exe", "leaf", {TRUST_E_NOSIGNATURE, kNoSignature}, {TRUST_E_NOSIGNATURE, kNoSignature}},
        {"tampered_notpkcs7.exe", "leaf", {TRUST_E_NOSIGNATURE, kNoSignature}, {TRUST_E_NOSIGNATURE, kNoSignature}},
        {"tampered_revision.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"tampered_certtype.exe", "leaf", {TRUST_E_NOSIGNATURE, kNoSignature}, {TRUST_E_NOSIGNATURE, kNoSignature}},
        {"tampered_dirsize.exe", "leaf", {TRUST_E_NOSIGNATURE, kNoSignature}, {TRUST_E_NOSIGNATURE, kNoSignature}},
        // The signature is still readable; the image is not whole.
        {"tampered_trailing.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"tampered_padjunk.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_nosigner.exe", "leaf", {TRUST_E_NOSIGNATURE, kNoSignerInfo}, {TRUST_E_NOSIGNATURE, kNoSignerInfo}},
        {"signed_nosignercert.exe", "leaf", {TRUST_E_NO_SIGNER_CERT, kNoCertificate},
         {TRUST_E_NO_SIGNER_CERT, kNoCertificate}},
        {"tampered_other_code.exe", "other", {TRUST_E_BAD_DIGEST, kModified}, {TRUST_E_BAD_DIGEST, kModified}},
        {"unsigned.exe", "leaf", {TRUST_E_NOSIGNATURE, kNoSignature}, {TRUST_E_NOSIGNATURE, kNoSignature}},
        {"notpe.txt", "leaf", {TRUST_E_SUBJECT_FORM_UNKNOWN, kNoSignature},
         {TRUST_E_SUBJECT_FORM_UNKNOWN, kNoSignature}},
        {"mz_truncated.bin", "leaf", {TRUST_E_NOSIGNATURE, kNoSignature}, {TRUST_E_NOSIGNATURE, kNoSignature}},
    };
    return catalog;
}

std::string FixturePath(const std::string& file) {
    return std::string(VELTO_AUTHENTICODE_FIXTURES) + "/files/" + file;
}

std::wstring WideFixturePath(const std::string& file) {
    return Widen(FixturePath(file));
}

std::string PkiPath(const std::string& file) {
    return std::string(VELTO_AUTHENTICODE_FIXTURES) + "/pki/" + file;
}

std::string SignerFingerprint(const std::string& signer) {
    std::string text = ReadWholeFile(PkiPath(signer + ".sha256"));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchFolder() {
    static int counter = 0;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("velto_authenticode_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace velto::test
