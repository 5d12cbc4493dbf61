#include "platform/linux/wintrust/digest_policy.h"

#include <openssl/objects.h>

namespace velto::platform::wintrust {

namespace {

bool IsAcceptedDigestNid(int nid) {
    return nid == NID_sha1 || nid == NID_sha256 || nid == NID_sha384 || nid == NID_sha512;
}

int AlgorithmNid(const X509_ALGOR* algorithm) {
    const ASN1_OBJECT* object = nullptr;
    if (algorithm == nullptr) {
        return NID_undef;
    }
    X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
    return OBJ_obj2nid(object);
}

}  // namespace

// AlgorithmIdentifier ::= SEQUENCE {
//     algorithm   OBJECT IDENTIFIER,
//     parameters  ANY DEFINED BY algorithm OPTIONAL }
const EVP_MD* AcceptedDigest(const X509_ALGOR* algorithm) {
    const int nid = AlgorithmNid(algorithm);
    return IsAcceptedDigestNid(nid) ? EVP_get_digestbynid(nid) : nullptr;
}

bool SignatureAlgorithmAgrees(const X509_ALGOR* signatureAlgorithm, const EVP_MD* digest, const EVP_PKEY* key) {
    const int nid = AlgorithmNid(signatureAlgorithm);
    int digestNid = NID_undef;
    int keyNid = nid;  // a key algorithm alone: the digest is the signer's
    if (nid == NID_undef || digest == nullptr || key == nullptr) {
        return false;
    }
    if (OBJ_find_sigid_algs(nid, &digestNid, &keyNid) == 1 && digestNid != EVP_MD_get_type(digest)) {
        return false;
    }
    const int keyType = EVP_PKEY_get_base_id(key);
    return keyType != EVP_PKEY_RSA_PSS && keyNid != NID_rsassaPss && keyNid == keyType;
}

}  // namespace velto::platform::wintrust
