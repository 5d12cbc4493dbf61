#include "platform/linux/wintrust/chain_policy.h"

#include <algorithm>
#include <array>

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include "platform/linux/wincrypt.h"
#include "platform/linux/winerror.h"

namespace velto::platform::wintrust {

namespace {

// One problem, as Windows' policy names it and as its chain context marks it.
struct Finding {
    LONG status;
    DWORD bits;
};

// When a chain has several problems, WinVerifyTrust reports only one. The
// ranking here is the order in which Windows documents its base chain-policy
// errors (CERT_CHAIN_POLICY_STATUS), which puts an untrusted root and an
// incomplete chain ahead of wrong usage and expiry. Whether that order is
// Windows' precedence is not known, so the status alone cannot tell a caller
// that a chain has nothing worse than an untrusted root: the chain context's
// error bits (ChainErrorBits) report every problem, whatever ranks first. A
// broken certificate signature ranks first, since it makes every other
// finding about that chain meaningless. A status that is not listed here (an
// explicitly distrusted certificate, or one added to the mapping later)
// ranks before all of them.
constexpr std::array<LONG, 9> kStatusPrecedence{
    TRUST_E_CERT_SIGNATURE, CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING,  CERT_E_WRONG_USAGE, CERT_E_EXPIRED,
    TRUST_E_BASIC_CONSTRAINTS, CERT_E_CRITICAL, CERT_E_MALFORMED, TRUST_E_FAIL,
};

// The critical extensions Windows' chain engine knows; a certificate that
// marks any other one critical is refused there (CERT_E_CRITICAL), whether
// OpenSSL knows it or not. OpenSSL knows the Netscape certificate type and
// the RFC 3779 address blocks, which Windows does not; Windows knows the key
// identifiers, which OpenSSL would refuse as critical.
constexpr std::array<int, 11> kKnownCriticalExtensions{
    NID_basic_constraints,      NID_key_usage,          NID_ext_key_usage,       NID_subject_alt_name,
    NID_name_constraints,       NID_certificate_policies, NID_policy_mappings,   NID_policy_constraints,
    NID_inhibit_any_policy,     NID_authority_key_identifier, NID_subject_key_identifier,
};

// Windows refuses every certificate with an RSA key under 1024 bits.
constexpr int kWeakestRsaKeyBits = 1024;

constexpr const char* kLifetimeSigningOid = "1.3.6.1.4.1.311.10.3.13";

int VerifyCallback(int ok, X509_STORE_CTX* context) {
    if (ok == 0) {
        auto* outcome = static_cast<ChainOutcome*>(X509_STORE_CTX_get_app_data(context));
        outcome->verifyErrors.push_back(X509_STORE_CTX_get_error(context));
    }
    // Go on: OpenSSL would otherwise stop at the first problem, and the
    // chain's error bits must show all of them.
    return 1;
}

// Every certificate that restricts its extended usage must allow code
// signing (or any usage); one without the extension allows every usage.
bool AllowsCodeSigning(X509* certificate) {
    const std::uint32_t flags = X509_get_extension_flags(certificate);
    return (flags & EXFLAG_XKUSAGE) == 0 ||
           (X509_get_extended_key_usage(certificate) & (XKU_CODE_SIGN | XKU_ANYEKU)) != 0;
}

bool HasUnknownCriticalExtension(X509* certificate) {
    for (int index = 0; index < X509_get_ext_count(certificate); ++index) {
        X509_EXTENSION* extension = X509_get_ext(certificate, index);
        const int nid = OBJ_obj2nid(X509_EXTENSION_get_object(extension));
        if (X509_EXTENSION_get_critical(extension) != 0 &&
            std::find(kKnownCriticalExtensions.begin(), kKnownCriticalExtensions.end(), nid) ==
                kKnownCriticalExtensions.end()) {
            return true;
        }
    }
    return false;
}

bool HasWeakKey(X509* certificate) {
    const EVP_PKEY* key = X509_get0_pubkey(certificate);
    const int type = key == nullptr ? NID_undef : EVP_PKEY_get_base_id(key);
    return (type == EVP_PKEY_RSA || type == EVP_PKEY_RSA_PSS) && EVP_PKEY_get_bits(key) < kWeakestRsaKeyBits;
}

// What OpenSSL leaves to the caller, over every certificate of the chain.
void CheckCertificates(STACK_OF(X509)* chain, ChainUsage usage, ChainOutcome& outcome) {
    const int count = chain == nullptr ? 0 : sk_X509_num(chain);
    for (int index = 0; index < count; ++index) {
        X509* certificate = sk_X509_value(chain, index);
        X509_check_purpose(certificate, -1, 0);  // fills the extension cache
        if ((X509_get_extension_flags(certificate) & EXFLAG_INVALID) != 0) {
            outcome.certificateMalformed = true;
        }
        if (usage == ChainUsage::kCodeSigning && !AllowsCodeSigning(certificate)) {
            outcome.codeSigningAllowed = false;
        }
        if (HasUnknownCriticalExtension(certificate)) {
            outcome.unsupportedCriticalExtension = true;
        }
        if (HasWeakKey(certificate)) {
            outcome.weakKey = true;
        }
    }
}

// A certificate whose basic constraints make it a CA issues certificates;
// signing code or timestamps with it directly is refused, as the
// basic-constraints policy does for an end entity.
bool IsAuthority(X509* certificate) {
    const std::uint32_t flags = X509_get_extension_flags(certificate);
    return (flags & EXFLAG_BCONS) != 0 && (flags & EXFLAG_CA) != 0;
}

Finding FindingForVerifyError(int verifyError) {
    switch (verifyError) {
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return {TRUST_E_CERT_SIGNATURE, CERT_TRUST_IS_NOT_SIGNATURE_VALID};
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return {CERT_E_UNTRUSTEDROOT, CERT_TRUST_IS_UNTRUSTED_ROOT};
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return {CERT_E_CHAINING, CERT_TRUST_IS_PARTIAL_CHAIN};
    case X509_V_ERR_INVALID_PURPOSE:
        return {CERT_E_WRONG_USAGE, CERT_TRUST_IS_NOT_VALID_FOR_USAGE};
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return {CERT_E_EXPIRED, CERT_TRUST_IS_NOT_TIME_VALID};
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
    case X509_V_ERR_INVALID_NON_CA:
        return {TRUST_E_BASIC_CONSTRAINTS, CERT_TRUST_INVALID_BASIC_CONSTRAINTS};
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
        return {CERT_E_CRITICAL, CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT};
    case X509_V_ERR_CERT_REJECTED:
        return {TRUST_E_EXPLICIT_DISTRUST, CERT_TRUST_IS_EXPLICIT_DISTRUST};
    default:
        // A problem Windows has no name for: its chain is marked as one whose
        // signatures cannot be trusted, which nothing tolerates.
        return {TRUST_E_FAIL, CERT_TRUST_IS_NOT_SIGNATURE_VALID};
    }
}

std::vector<Finding> Findings(const ChainOutcome& outcome) {
    std::vector<Finding> findings;
    for (const int error : outcome.verifyErrors) {
        findings.push_back(FindingForVerifyError(error));
    }
    if (!outcome.codeSigningAllowed) {
        findings.push_back({CERT_E_WRONG_USAGE, CERT_TRUST_IS_NOT_VALID_FOR_USAGE});
    }
    if (outcome.certificateMalformed) {
        findings.push_back({CERT_E_MALFORMED, CERT_TRUST_INVALID_EXTENSION});
    }
    if (outcome.signerIsAuthority) {
        findings.push_back({TRUST_E_BASIC_CONSTRAINTS, CERT_TRUST_INVALID_BASIC_CONSTRAINTS});
    }
    if (outcome.unsupportedCriticalExtension) {
        findings.push_back({CERT_E_CRITICAL, CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT});
    }
    if (outcome.weakKey) {
        findings.push_back({TRUST_E_CERT_SIGNATURE, CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_HAS_WEAK_SIGNATURE});
    }
    return findings;
}

std::size_t Rank(LONG status) {
    const auto found = std::find(kStatusPrecedence.begin(), kStatusPrecedence.end(), status);
    return found == kStatusPrecedence.end() ? 0 : static_cast<std::size_t>(found - kStatusPrecedence.begin()) + 1;
}

}  // namespace

StoreOwner LoadTrustStore() {
    StoreOwner store(X509_STORE_new());
    if (store && X509_STORE_set_default_paths(store.get()) != 1) {
        // A missing default file or folder only means fewer trusted roots.
        ERR_clear_error();
    }
    return store;
}

ChainOutcome CheckChain(X509* endCertificate, STACK_OF(X509)* embedded, X509_STORE* trust,
                        std::optional<std::time_t> validAt, ChainUsage usage) {
    ChainOutcome outcome;
    StoreContextOwner context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), trust, endCertificate, embedded) != 1 ||
        (usage == ChainUsage::kTimeStamping &&
         X509_STORE_CTX_set_purpose(context.get(), X509_PURPOSE_TIMESTAMP_SIGN) != 1)) {
        outcome.verifyErrors.push_back(X509_V_ERR_UNSPECIFIED);
        ERR_clear_error();
        return outcome;
    }
    X509_STORE_CTX_set_app_data(context.get(), &outcome);
    X509_STORE_CTX_set_verify_cb(context.get(), VerifyCallback);
    // OpenSSL skips the signature of a self-signed certificate unless told
    // otherwise; a self-signed signer whose own signature is broken would
    // then pass as merely untrusted, which is tolerated. Critical extensions
    // are judged by Windows' list instead of OpenSSL's (CheckCertificates).
    // A time-stamping authority's certificate must carry a critical
    // extended usage of time stamping alone, as OpenSSL's purpose and
    // RFC 3161 require; whether Windows also takes one whose usage is not
    // critical is not known, so it is refused.
    X509_STORE_CTX_set_flags(context.get(), X509_V_FLAG_CHECK_SS_SIGNATURE | X509_V_FLAG_IGNORE_CRITICAL);
    if (validAt.has_value()) {
        X509_STORE_CTX_set_time(context.get(), 0, *validAt);
    }
    const int verified = X509_verify_cert(context.get());
    if (verified != 1 && outcome.verifyErrors.empty()) {
        outcome.verifyErrors.push_back(X509_V_ERR_UNSPECIFIED);  // failed without naming a certificate problem
    }
    CheckCertificates(X509_STORE_CTX_get0_chain(context.get()), usage, outcome);
    outcome.signerIsAuthority = IsAuthority(endCertificate);
    ERR_clear_error();
    return outcome;
}

bool HasLifetimeSigningUsage(X509* certificate) {
    ObjectOwner lifetime(OBJ_txt2obj(kLifetimeSigningOid, 1));
    auto* usages = static_cast<EXTENDED_KEY_USAGE*>(X509_get_ext_d2i(certificate, NID_ext_key_usage, nullptr, nullptr));
    bool found = false;
    for (int index = 0; lifetime && index < sk_ASN1_OBJECT_num(usages); ++index) {
        found = found || OBJ_cmp(sk_ASN1_OBJECT_value(usages, index), lifetime.get()) == 0;
    }
    sk_ASN1_OBJECT_pop_free(usages, ASN1_OBJECT_free);
    return found;
}

LONG StatusForVerifyError(int verifyError) {
    return FindingForVerifyError(verifyError).status;
}

DWORD ChainErrorBits(const ChainOutcome& outcome) {
    DWORD bits = CERT_TRUST_NO_ERROR;
    for (const Finding& finding : Findings(outcome)) {
        bits |= finding.bits;
    }
    return bits;
}

LONG StatusForChainOutcome(const ChainOutcome& outcome) {
    const std::vector<Finding> findings = Findings(outcome);
    if (findings.empty()) {
        return ERROR_SUCCESS;
    }
    return std::min_element(findings.begin(), findings.end(), [](const Finding& left, const Finding& right) {
               return Rank(left.status) < Rank(right.status);
           })->status;
}

}  // namespace velto::platform::wintrust
