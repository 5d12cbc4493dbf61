// The certificate side of the Authenticode verdict: a chain from the signer
// (or a timestamp's authority) through the signature's own certificates to
// the machine's trust store, its usage, its validity at the signing time,
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

// What the end certificate of the chain is for.
enum class ChainUsage { kCodeSigning, kTimeStamping };

// Everything the chain check found; no finding at all means a trusted chain.
struct ChainOutcome {
    std::vector<int> verifyErrors;  // X509_V_ERR_* values, every one seen
    bool codeSigningAllowed = true;
    bool certificateMalformed = false;
    bool signerIsAuthority = false;             // the end certificate says it is a CA
    bool unsupportedCriticalExtension = false;  // one Windows does not know
    bool weakKey = false;                       // an RSA key under 1024 bits
};

// validAt empty: now.
ChainOutcome CheckChain(X509* endCertificate, STACK_OF(X509)* embedded, X509_STORE* trust,
                        std::optional<std::time_t> validAt, ChainUsage usage);

// Whether the certificate's extended usage includes lifetime signing
// (1.3.6.1.4.1.311.10.3.13): its signatures end with it, timestamp or not.
bool HasLifetimeSigningUsage(X509* certificate);

// The Windows status for one OpenSSL verification error.
LONG StatusForVerifyError(int verifyError);

// The CERT_TRUST_* error bits of an outcome: one or more for every finding.
DWORD ChainErrorBits(const ChainOutcome& outcome);

// The one status of an outcome with any number of problems; see the
// precedence in the source.
LONG StatusForChainOutcome(const ChainOutcome& outcome);

}  // namespace velto::platform::wintrust
