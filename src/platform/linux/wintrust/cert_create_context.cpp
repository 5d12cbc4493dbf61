// CertCreateCertificateContext: a context for one DER certificate, made in
// a store of its own that only the context keeps alive, so that
// CertFreeCertificateContext releases both as it releases any context of a
// closed store. Only a certificate that fills the buffer is taken.
#include <openssl/err.h>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/crypt_handles.h"

namespace {

using namespace velto::platform::wintrust;
using velto::platform::FailNull;

// The certificate parsed, or null when the bytes are anything else.
X509* ParseWholeCertificate(const BYTE* encoded, DWORD size) {
    const unsigned char* cursor = encoded;
    X509Owner certificate(d2i_X509(nullptr, &cursor, static_cast<long>(size)));
    ERR_clear_error();
    return cursor == encoded + size ? certificate.release() : nullptr;
}

}  // namespace

extern "C" PCCERT_CONTEXT WINAPI CertCreateCertificateContext(DWORD dwCertEncodingType, const BYTE* pbCertEncoded,
                                                              DWORD cbCertEncoded) {
    if ((dwCertEncodingType & X509_ASN_ENCODING) == 0) return FailNull(E_INVALIDARG);
    if (pbCertEncoded == nullptr || cbCertEncoded == 0) return FailNull(CRYPT_E_ASN1_BADTAG);
    X509Owner certificate(ParseWholeCertificate(pbCertEncoded, cbCertEncoded));
    if (certificate == nullptr) return FailNull(CRYPT_E_ASN1_BADTAG);
    // The store is made the way a signature's store is: from a message
    // that holds the certificate and its bytes, which the store copies.
    SignedMessage holder;
    holder.certificates.reset(sk_X509_new_null());
    if (holder.certificates == nullptr || sk_X509_push(holder.certificates.get(), certificate.get()) == 0) {
        return FailNull(ERROR_NOT_ENOUGH_MEMORY);
    }
    certificate.release();  // the stack owns it now
    holder.certificateEncodings.emplace_back(pbCertEncoded, cbCertEncoded);
    StoreRecord* store = NewStoreFromMessage(holder);
    if (store == nullptr) return FailNull(CRYPT_E_ASN1_BADTAG);
    const PCCERT_CONTEXT context = HandOutContext(store->certificates.front());
    store->handleOpen = false;  // no handle to it is ever handed out
    ReleaseStoreReference(store);
    return context;
}
