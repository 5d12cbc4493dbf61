// The digest algorithms an Authenticode signature may rest on: the same
// allow-list for the image digest, the signer's message digest and the
// hash inside the signer's signature algorithm. MD5 and anything older
// is refused, since a collision lets one signature vouch for two files.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace velto::platform::wintrust {

// The digest an algorithm identifier names, when it is on the list;
// otherwise null.
const EVP_MD* AcceptedDigest(const X509_ALGOR* algorithm);

// Whether a signer's signature algorithm agrees with its digest and its
// key: either a bare key algorithm (rsaEncryption, as Authenticode signers
// write it) or a combined one whose hash is that same digest, and in both
// cases of the key's own type, so an RSA signature labelled ECDSA or DSA
// is refused. RSA-PSS is refused whether the label or the key says it:
// whether Windows' Authenticode policy accepts a PSS signer is not known.
bool SignatureAlgorithmAgrees(const X509_ALGOR* signatureAlgorithm, const EVP_MD* digest, const EVP_PKEY* key);

}  // namespace velto::platform::wintrust
