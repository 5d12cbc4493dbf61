// The RFC 3161 timestamp that a signer can carry as an unauthenticated
// attribute. A timestamp that verifies moves the moment at which the
// signing certificate must have been valid from now to the stamped time.
#pragma once

#include <ctime>
#include <optional>

#include <openssl/pkcs7.h>
#include <openssl/x509_vfy.h>

namespace velto::platform::wintrust {

// The stamped time, when the signer carries a timestamp token whose
// signature verifies, whose TSA certificate chains to a root in trust with
// the time-stamping usage, and whose message imprint is the digest of the
// signer's signature value. Otherwise nothing: the signature is then judged
// at the current time. The legacy PKCS #9 countersignature is not read.
std::optional<std::time_t> VerifiedTimestamp(const PKCS7_SIGNER_INFO* signer, X509_STORE* trust);

}  // namespace velto::platform::wintrust
