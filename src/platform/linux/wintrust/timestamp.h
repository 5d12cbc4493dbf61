// The timestamp a signer can carry as an unauthenticated attribute: an
// RFC 3161 token (1.3.6.1.4.1.311.3.3.1), or the legacy Authenticode
// countersignature of PKCS #9 (1.2.840.113549.1.9.6). A timestamp that
// verifies moves the moment at which the signing certificate must have
// been valid from now to the stamped time; one that is there and does not
// verify refuses the signature.
#pragma once

#include <ctime>

#include <openssl/pkcs7.h>
#include <openssl/x509_vfy.h>

#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

enum class TimestampResult {
    kNone,      // the signer carries no timestamp
    kVerified,  // time holds the stamped moment
    kInvalid,   // a timestamp is there and does not verify
};

struct Timestamp {
    TimestampResult result = TimestampResult::kNone;
    std::time_t time = 0;
};

// Judges the first timestamp of each kind that the signer carries; an RFC
// 3161 token, when there, gives the time. A timestamp verifies when its
// signature verifies over its bytes as stored, it covers exactly this
// signer's signature value (a timestamp copied from another signature
// covers another value), and its authority's certificate chains to a root
// in trust with the time-stamping usage and no problem at all, judged at
// the stamped moment: an authority whose certificate has expired since
// still vouches for what it stamped while valid, and one whose certificate
// was issued after that moment vouches for nothing. A legacy
// countersigner's certificate is looked up among the message's
// certificates, an RFC 3161 authority's among the token's.
Timestamp CheckTimestamp(const SignedMessage& message, const PKCS7_SIGNER_INFO* signer, X509_STORE* trust);

}  // namespace velto::platform::wintrust
