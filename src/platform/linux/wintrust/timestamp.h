// The timestamp a signer can carry as an unauthenticated attribute: an
// RFC 3161 token (1.3.6.1.4.1.311.3.3.1), or the legacy Authenticode
// countersignature of PKCS #9 (1.2.840.113549.1.9.6). A timestamp that
// verifies moves the moment at which the signing certificate must have
// been valid from now to the stamped time.
#pragma once

#include <ctime>
#include <optional>

#include <openssl/pkcs7.h>
#include <openssl/x509_vfy.h>

#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

// The stamped time, when the signer carries a timestamp whose signature
// verifies, whose authority's certificate chains to a root in trust with
// the time-stamping usage, and which covers exactly this signer's
// signature value (a timestamp copied from another signature covers
// another value). A legacy countersigner's certificate is looked up among
// the message's certificates. Otherwise nothing: the signature is then
// judged at the current time.
std::optional<std::time_t> VerifiedTimestamp(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer,
                                             X509_STORE* trust);

}  // namespace velto::platform::wintrust
