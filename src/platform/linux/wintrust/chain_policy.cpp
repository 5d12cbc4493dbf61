#include "platform/linux/wintrust/chain_policy.h"

#include <algorithm>
#include <array>

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include "platform/linux/winerror.h"

namespace velto::platform::wintrust {

namespace {

// When a chain has several problems, Windows' chain policy reports only
// one. Which one wins decides more than the wording here: an untrusted root
// or an incomplete chain is tolerated by the bootstrapper (it pins the
// signer instead), while wrong usage or expiry is refused. So the tolerated
// two rank last: a problem that alone would refuse the file is never hidden
// behind one that alone would let it pass, and an expired or wrong-usage
// signer is refused whether or not its root is trusted. A broken
// certificate signature ranks first, since it makes every other finding
// about that chain meaningless; the rest follow the order in which Windows
// documents its base chain-policy errors (CERT_CHAIN_POLICY_STATUS). A
// status that is not listed here (an explicitly distrusted certificate, or
// one added to the mapping later) ranks before all of them, so that
// forgetting to list it can only refuse a file, never let one pass.
constexpr std::array<LONG, 9> kStatusPrecedence{
    TRUST_E_CERT_SIGNATURE, CERT_E_WRONG_USAGE, CERT_E_EXPIRED,       TRUST_E_BASIC_CONSTRAINTS, CERT_E_CRITICAL,
    CERT_E_MALFORMED,       TRUST_E_FAIL,       CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING,
};

int VerifyCallback(int ok, X509_STORE_CTX* context) {
    if (ok == 0) {
        auto* outcome = static_cast<ChainOutcome*>(X509_STORE_CTX_get_app_data(context));
        outcome->verifyErrors.push_back(X509_STORE_CTX_get_error(context));
    }
    // Go on: OpenSSL would otherwise stop at the first problem, and the
    // precedence needs to see all of them.
    return 1;
}

// Every certificate that restricts its extended usage must allow code
// signing (or any usage); one without the extension allows every usage.
void CheckUsage(STACK_OF(X509)* chain, ChainOutcome& outcome) {
    const int count = chain == nullptr ? 0 : sk_X509_num(chain);
    for (int index = 0; index < count; ++index) {
        X509* certificate = sk_X509_value(chain, index);
        X509_check_purpose(certificate, -1, 0);  // fills the extension cache
        const std::uint32_t flags = X509_get_extension_flags(certificate);
        if ((flags & EXFLAG_INVALID) != 0) {
            outcome.certificateMalformed = true;
        }
        if ((flags & EXFLAG_XKUSAGE) != 0 &&
            (X509_get_extended_key_usage(certificate) & (XKU_CODE_SIGN | XKU_ANYEKU)) == 0) {
            outcome.codeSigningAllowed = false;
        }
    }
}

std::size_t Rank(LONG status) {
    const auto found = std::find(kStatusPrecedence.begin(), kStatusPrecedence.end(), status);
    return found == kStatusPrecedence.end() ? 0 : static_cast<std::size_t>(found - kStatusPrecedence.begin()) + 1;
}

// A certificate whose basic constraints make it a CA issues certificates;
// signing code with it directly is refused, as the basic-constraints
// policy does for an end entity.
bool IsAuthority(X509* certificate) {
    const std::uint32_t flags = X509_get_extension_flags(certificate);
    return (flags & EXFLAG_BCONS) != 0 && (flags & EXFLAG_CA) != 0;
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

ChainOutcome CheckSignerChain(X509* signer, STACK_OF(X509)* embedded, X509_STORE* trust,
                              std::optional<std::time_t> validAt) {
    ChainOutcome outcome;
    StoreContextOwner context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), trust, signer, embedded) != 1) {
        outcome.verifyErrors.push_back(X509_V_ERR_UNSPECIFIED);
        ERR_clear_error();
        return outcome;
    }
    X509_STORE_CTX_set_app_data(context.get(), &outcome);
    X509_STORE_CTX_set_verify_cb(context.get(), VerifyCallback);
    // OpenSSL skips the signature of a self-signed certificate unless told
    // otherwise; a self-signed signer whose own signature is broken would
    // then pass as merely untrusted, which is tolerated.
    X509_STORE_CTX_set_flags(context.get(), X509_V_FLAG_CHECK_SS_SIGNATURE);
    if (validAt.has_value()) {
        X509_STORE_CTX_set_time(context.get(), 0, *validAt);
    }
    const int verified = X509_verify_cert(context.get());
    if (verified != 1 && outcome.verifyErrors.empty()) {
        outcome.verifyErrors.push_back(X509_V_ERR_UNSPECIFIED);  // failed without naming a certificate problem
    }
    CheckUsage(X509_STORE_CTX_get0_chain(context.get()), outcome);
    outcome.signerIsAuthority = IsAuthority(signer);
    ERR_clear_error();
    return outcome;
}

LONG StatusForVerifyError(int verifyError) {
    switch (verifyError) {
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        return TRUST_E_CERT_SIGNATURE;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return CERT_E_UNTRUSTEDROOT;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return CERT_E_CHAINING;
    case X509_V_ERR_INVALID_PURPOSE:
        return CERT_E_WRONG_USAGE;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
        return CERT_E_EXPIRED;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
    case X509_V_ERR_INVALID_NON_CA:
        return TRUST_E_BASIC_CONSTRAINTS;
    case X509_V_ERR_UNHANDLED_CRITICAL_EXTENSION:
        return CERT_E_CRITICAL;
    case X509_V_ERR_CERT_REJECTED:
        return TRUST_E_EXPLICIT_DISTRUST;
    default:
        return TRUST_E_FAIL;
    }
}

LONG StatusForChainOutcome(const ChainOutcome& outcome) {
    std::vector<LONG> statuses;
    for (const int error : outcome.verifyErrors) {
        statuses.push_back(StatusForVerifyError(error));
    }
    if (!outcome.codeSigningAllowed) {
        statuses.push_back(CERT_E_WRONG_USAGE);
    }
    if (outcome.certificateMalformed) {
        statuses.push_back(CERT_E_MALFORMED);
    }
    if (outcome.signerIsAuthority) {
        statuses.push_back(TRUST_E_BASIC_CONSTRAINTS);
    }
    if (statuses.empty()) {
        return ERROR_SUCCESS;
    }
    return *std::min_element(statuses.begin(), statuses.end(),
                             [](LONG left, LONG right) { return Rank(left) < Rank(right); });
}

}  // namespace velto::platform::wintrust
