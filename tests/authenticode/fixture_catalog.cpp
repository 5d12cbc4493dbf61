#include "fixture_catalog.h"

#include "verify/installer_signature.h"

namespace velto::test {

namespace {

const std::wstring kAccepted;
constexpr const wchar_t* kNoSignature = kNoSignatureMessage;
constexpr const wchar_t* kNoSignerInfo = kNoSignerInfoMessage;
constexpr const wchar_t* kNoCertificate = kNoSignerCertificateMessage;
constexpr const wchar_t* kInvalid = kSignatureInvalidMessage;
constexpr const wchar_t* kModified = kModifiedMessage;
constexpr const wchar_t* kUnsigned = kUnsignedMessage;
constexpr const wchar_t* kPin = kNotPinnedMessage;
const std::wstring kExpired = RejectedMessage(L"0x800B0101");
const std::wstring kWrongUsage = RejectedMessage(L"0x800B0110");
const std::wstring kCertificateSignature = RejectedMessage(L"0x80096004");
const std::wstring kBasicConstraints = RejectedMessage(L"0x80096019");
const std::wstring kCriticalExtension = RejectedMessage(L"0x800B0105");
const std::wstring kAlgorithm = RejectedMessage(L"0x80090008");
const std::wstring kTimeStamp = RejectedMessage(L"0x80096005");

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
        // An untrusted root ranks above expiry and wrong usage (chain_policy.cpp); the chain's error
        // bits say the rest. Without a trusted root no timestamp authority is trusted either.
        {"signed_expired.exe", "expired", {CERT_E_EXPIRED, kExpired}, {CERT_E_UNTRUSTEDROOT, kExpired}},
        {"signed_expired_timestamped.exe", "expired", {kOk, kAccepted}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        {"signed_serverauth.exe", "server", {CERT_E_WRONG_USAGE, kWrongUsage}, {CERT_E_UNTRUSTEDROOT, kWrongUsage}},
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

        // Timestamps. A legacy PKCS #9 countersignature rescues an expired signer like an RFC 3161
        // token; one copied onto another signature, or broken, refuses the signature.
        {"signed_expired_legacystamp.exe", "expired", {kOk, kAccepted}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        {"stamp_moved.exe", "expired", {TRUST_E_TIME_STAMP, kTimeStamp}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        {"legacystamp_moved.exe", "expired", {TRUST_E_TIME_STAMP, kTimeStamp}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        {"stamp_broken.exe", "leaf", {TRUST_E_TIME_STAMP, kTimeStamp}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        // The authority is judged at the stamped moment (2020-06-01): lapsed since, or issued after.
        {"stamp_authority_lapsed.exe", "expired", {kOk, kAccepted}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        {"stamp_authority_late.exe", "expired", {TRUST_E_TIME_STAMP, kTimeStamp}, {TRUST_E_TIME_STAMP, kTimeStamp}},
        {"signed_lifetime_timestamped.exe", "lifetime", {CERT_E_EXPIRED, kExpired}, {TRUST_E_TIME_STAMP, kTimeStamp}},

        // Forgeries of the signed content. Windows' exact codes here are not known; Wine reports
        // TRUST_E_BAD_DIGEST for a content digest that does not match, and any code refuses.
        {"tampered_forgeindirect.exe", "leaf", {TRUST_E_BAD_DIGEST, kInvalid}, {TRUST_E_BAD_DIGEST, kInvalid}},
        {"tampered_forgeattributes.exe", "leaf", {TRUST_E_CERT_SIGNATURE, kInvalid},
         {TRUST_E_CERT_SIGNATURE, kInvalid}},
        // The first certificate with the signer's issuer and serial is the one judged, as the
        // CryptoAPI search finds it; whether Windows would try the next one is not known.
        {"signer_impostor.exe", "leaf", {TRUST_E_CERT_SIGNATURE, kInvalid}, {TRUST_E_CERT_SIGNATURE, kInvalid}},
        // Authenticode has one signer. Windows' code for a second one is not known: refused as
        // no signature, whichever signer comes first.
        {"signers_pinned_first.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"signers_foreign_first.exe", "leaf", {TRUST_E_NOSIGNATURE, kPin}, {TRUST_E_NOSIGNATURE, kPin}},

        // Signatures made anew by forge.py with the pinned key, sound but for one thing; the first
        // is sound throughout and shows that the others fail for their one thing only.
        {"forged_resigned.exe", "leaf", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        // The pinned key's signature over other content: plain data, content whose signer says it
        // signed data, content naming a cabinet, content without authenticated attributes. The
        // PKCS #7 signature itself verifies, so the pin holds and only the verdict refuses;
        // Windows' codes for these are not known.
        {"signed_data.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"forged_declaresdata.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"forged_cabsubject.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"forged_noattributes.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        // Weak and mismatched digests, refused as a bad algorithm in every place; Windows' code for
        // MD5 is not known. The signer's own MD5 already fails the message signature check.
        {"signed_md5.exe", "leaf", {NTE_BAD_ALGID, kInvalid}, {NTE_BAD_ALGID, kInvalid}},
        {"forged_md5signer.exe", "leaf", {NTE_BAD_ALGID, kInvalid}, {NTE_BAD_ALGID, kInvalid}},
        {"forged_md5signature.exe", "leaf", {NTE_BAD_ALGID, kInvalid}, {NTE_BAD_ALGID, kInvalid}},
        {"forged_sha1image.exe", "leaf", {NTE_BAD_ALGID, kAlgorithm}, {NTE_BAD_ALGID, kAlgorithm}},
        {"tampered_ecdsalabel.exe", "leaf", {NTE_BAD_ALGID, kInvalid}, {NTE_BAD_ALGID, kInvalid}},
        // Signed attributes stored with a stretched length; signed content tagged as CMS has it.
        {"tampered_attrlength.exe", "leaf", {TRUST_E_CERT_SIGNATURE, kInvalid}, {TRUST_E_CERT_SIGNATURE, kInvalid}},
        {"tampered_encapoctet.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},

        // Chains on real certificates. A leaf without extended usage may sign code (no extension
        // means every usage); a CA as signer is refused by the basic constraints, which Windows
        // may not apply to Authenticode: refused until known.
        {"signed_underserverca.exe", "underserverca", {CERT_E_WRONG_USAGE, kWrongUsage},
         {CERT_E_UNTRUSTEDROOT, kWrongUsage}},
        {"signed_noeku.exe", "noeku", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_future.exe", "future", {CERT_E_EXPIRED, kExpired}, {CERT_E_UNTRUSTEDROOT, kExpired}},
        {"signed_casigner.exe", "casigner", {TRUST_E_BASIC_CONSTRAINTS, kBasicConstraints},
         {CERT_E_UNTRUSTEDROOT, kBasicConstraints}},
        {"signed_critical.exe", "critical", {CERT_E_CRITICAL, kCriticalExtension},
         {CERT_E_UNTRUSTEDROOT, kCriticalExtension}},
        // Critical extensions as Windows knows them, not OpenSSL; RSA keys under 1024 bits.
        {"signed_nscertcritical.exe", "nscert", {CERT_E_CRITICAL, kCriticalExtension},
         {CERT_E_UNTRUSTEDROOT, kCriticalExtension}},
        {"signed_akicritical.exe", "akicritical", {kOk, kAccepted}, {CERT_E_UNTRUSTEDROOT, kAccepted}},
        {"signed_weakkey.exe", "weak", {TRUST_E_CERT_SIGNATURE, kCertificateSignature},
         {TRUST_E_CERT_SIGNATURE, kCertificateSignature}},
        {"signed_selfbroken.exe", "selfbroken", {TRUST_E_CERT_SIGNATURE, kCertificateSignature},
         {TRUST_E_CERT_SIGNATURE, kCertificateSignature}},

        // Certificate tables. A signed image ends with exactly one aligned entry; Windows' codes for
        // a second entry or a misaligned table are not known. A table inside a section leaves
        // section bytes out of the digest here that Windows hashes, so its digest cannot match.
        {"table_second_entry.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"forged_misaligned.exe", "leaf", {TRUST_E_NOSIGNATURE, kUnsigned}, {TRUST_E_NOSIGNATURE, kUnsigned}},
        {"forged_insection.exe", "leaf", {TRUST_E_BAD_DIGEST, kModified}, {TRUST_E_BAD_DIGEST, kModified}},
    };
    return catalog;
}

std::wstring RejectedMessage(const std::wstring& status) {
    return kSignatureRejectedPrefix + status + L").";
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

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

}  // namespace velto::test
