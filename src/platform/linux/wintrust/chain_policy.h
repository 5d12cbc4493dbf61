// The certificate side of the Authenticode verdict: a chain from the signer
// through the signature's own certificates to the machine's trust store,
// the code-signing usage, the validity at the signing time,
// the chain's error bits as Windows' chain context reports them, and the
// one Windows status that sums up whatever went wrong.
#pragma once

#include <ctime>
#include <optional>
#include <vector>

#include <openssl/x509.h>

#include "platform/linux/win_types.h"
#include "platform/linux/wintrust/openssl_owners.h"

namespace velto::platform::wintrust {

// The trust store OpenSSL uses by default: the system's roots, or the file
// and folder named by SSL_CERT_FILE and SSL_CERT_DIR when they are set, the
// way OpenSSL's own tools read them. It stands for Windows' root store for
// code signing and time stamping alike, so whoever sets these variables
// for the process decides which chains are trusted and which timestamp
// authorities may vouch for an expired signer. The signer pin does not
// depend on it. Null only when out of memory.
StoreOwner LoadTrustStore();

// Everything the chain check found; no finding at all means a trusted chain.
struct ChainOutcome {
    std::vector<int> verifyErrors;  // X509_V_ERR_* values, every one seen
    bool codeSigningAllowed = true;
    bool certificateMalformed = false;
    bool signerIsAuthority = false;  // the signer's certificate says it is a CA
};

ChainOutcome CheckSignerChain(X509* signer, STACK_OF(X509)* embedded, X509_STORE* trust,
                              std::optional<std::time_t> validAt);

// The Windows status for one OpenSSL verification error.
LONG StatusForVerifyError(int verifyError);

// The CERT_TRUST_* error bits of an outcome: one or more for every finding.
DWORD ChainErrorBits(const ChainOutcome& outcome);

// The one status of an outcome with any number of problems; see the
// precedence in the source.
LONG StatusForChainOutcome(const ChainOutcome& outcome);

}  // namespace velto::platform::wintrust
