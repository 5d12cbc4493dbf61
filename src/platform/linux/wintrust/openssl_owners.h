// Scoped owners for the OpenSSL objects the layer creates, so each one is
// released on every path, in the reverse order of its acquisition.
#pragma once

#include <memory>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace velto::platform::wintrust {

template <auto Release>
struct OpenSslRelease {
    template <typename T>
    void operator()(T* object) const { Release(object); }
};

using BioOwner = std::unique_ptr<BIO, OpenSslRelease<BIO_free_all>>;
using MdContextOwner = std::unique_ptr<EVP_MD_CTX, OpenSslRelease<EVP_MD_CTX_free>>;
using PkeyOwner = std::unique_ptr<EVP_PKEY, OpenSslRelease<EVP_PKEY_free>>;
using Pkcs7Owner = std::unique_ptr<PKCS7, OpenSslRelease<PKCS7_free>>;
using SignerInfoOwner = std::unique_ptr<PKCS7_SIGNER_INFO, OpenSslRelease<PKCS7_SIGNER_INFO_free>>;
using X509Owner = std::unique_ptr<X509, OpenSslRelease<X509_free>>;
using X509SigOwner = std::unique_ptr<X509_SIG, OpenSslRelease<X509_SIG_free>>;
using StoreOwner = std::unique_ptr<X509_STORE, OpenSslRelease<X509_STORE_free>>;
using StoreContextOwner = std::unique_ptr<X509_STORE_CTX, OpenSslRelease<X509_STORE_CTX_free>>;
using TsVerifyOwner = std::unique_ptr<TS_VERIFY_CTX, OpenSslRelease<TS_VERIFY_CTX_free>>;
using TstInfoOwner = std::unique_ptr<TS_TST_INFO, OpenSslRelease<TS_TST_INFO_free>>;
using ObjectOwner = std::unique_ptr<ASN1_OBJECT, OpenSslRelease<ASN1_OBJECT_free>>;

inline void FreeCertificateStack(STACK_OF(X509)* certificates) { sk_X509_pop_free(certificates, X509_free); }
using CertificateStackOwner = std::unique_ptr<STACK_OF(X509), OpenSslRelease<FreeCertificateStack>>;

}  // namespace velto::platform::wintrust
