// What the signer's certificate chain says beyond the one status that
// WinVerifyTrust returns. The policy ranks an untrusted root or an
// incomplete chain ahead of expiry and wrong usage in what it documents,
// so a pinned signer that is expired, not for code signing or carries an
// unknown critical extension can come back as merely untrusted. The chain's
// error bits report every problem, and this table names each one.
#pragma once

#include "platform/win_api.h"

// The problems the bootstrapper tolerates: the pin already names the
// signer, so an untrusted root or a chain that stops short does not matter,
// and revocation is not checked at all, so its bits say only that.
inline constexpr DWORD kToleratedChainErrors = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                                               CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                               CERT_TRUST_IS_OFFLINE_REVOCATION;

struct ChainErrorName {
    DWORD bits;
    LONG status;
};

// Every other bit with the status that names it, in the order in which
// Windows documents its base chain-policy errors (CERT_CHAIN_POLICY_STATUS);
// the first entry that matches names the refusal. A revoked certificate is a
// finding, not a missing check, so it refuses. An invalid extension comes
// last: it goes with a more telling bit, as an unknown critical extension
// is marked with both under Wine.
inline constexpr ChainErrorName kChainErrorNames[] = {
    {CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_HAS_WEAK_SIGNATURE | CERT_TRUST_CTL_IS_NOT_SIGNATURE_VALID,
     TRUST_E_CERT_SIGNATURE},
    {CERT_TRUST_IS_REVOKED, CRYPT_E_REVOKED},
    {CERT_TRUST_IS_EXPLICIT_DISTRUST, TRUST_E_EXPLICIT_DISTRUST},
    {CERT_TRUST_IS_CYCLIC, CERT_E_CHAINING},
    {CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_CTL_IS_NOT_VALID_FOR_USAGE, CERT_E_WRONG_USAGE},
    {CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_CTL_IS_NOT_TIME_VALID, CERT_E_EXPIRED},
    {CERT_TRUST_INVALID_NAME_CONSTRAINTS | CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT |
         CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT | CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT |
         CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT,
     CERT_E_INVALID_NAME},
    {CERT_TRUST_INVALID_POLICY_CONSTRAINTS | CERT_TRUST_NO_ISSUANCE_CHAIN_POLICY, CERT_E_INVALID_POLICY},
    {CERT_TRUST_INVALID_BASIC_CONSTRAINTS, TRUST_E_BASIC_CONSTRAINTS},
    {CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT, CERT_E_CRITICAL},
    {CERT_TRUST_IS_NOT_TIME_NESTED, CERT_E_VALIDITYPERIODNESTING},
    {CERT_TRUST_INVALID_EXTENSION, CERT_E_MALFORMED},
};

// 0 when only tolerated bits are set; otherwise the status of the first
// entry above that any offending bit matches, TRUST_E_FAIL for bits the
// table does not know.
inline LONG StatusForChainErrors(DWORD errorStatus) {
    const DWORD offending = errorStatus & ~kToleratedChainErrors;
    if (offending == 0) return 0;
    for (const ChainErrorName& name : kChainErrorNames) {
        if ((name.bits & offending) != 0) return name.status;
    }
    return TRUST_E_FAIL;
}
