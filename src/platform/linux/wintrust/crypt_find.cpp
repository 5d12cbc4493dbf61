// CertFindCertificateInStore for CERT_FIND_SUBJECT_CERT, and the freeing of
// the contexts it hands out.
#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/crypt_handles.h"

namespace {

using namespace velto::platform::wintrust;
using velto::platform::Fail;

Bytes BlobBytes(const CRYPTOAPI_BLOB& blob) {
    return blob.pbData == nullptr ? Bytes{} : Bytes(blob.pbData, blob.cbData);
}

// The issuer must be byte-for-byte the same encoding; the serial number only
// numerically the same.
bool IsSubjectOf(const CERT_INFO& wanted, const CertificateRecord& candidate) {
    const CERT_INFO& info = candidate.info;
    return wanted.Issuer.cbData != 0 && SameBytes(BlobBytes(wanted.Issuer), BlobBytes(info.Issuer)) &&
           IntegerBlobsEqual(BlobBytes(wanted.SerialNumber), BlobBytes(info.SerialNumber));
}

// Where a search that continues after previous starts.
std::size_t StartAfter(const StoreRecord& store, const CertificateRecord* previous) {
    if (previous == nullptr) {
        return 0;
    }
    for (std::size_t index = 0; index < store.certificates.size(); ++index) {
        if (store.certificates[index] == previous) {
            return index + 1;
        }
    }
    return store.certificates.size();
}

}  // namespace

extern "C" PCCERT_CONTEXT WINAPI CertFindCertificateInStore(HCERTSTORE hCertStore, DWORD, DWORD, DWORD dwFindType,
                                                            const void* pvFindPara,
                                                            PCCERT_CONTEXT pPrevCertContext) {
    StoreRecord* store = StoreFromHandle(hCertStore);
    CertificateRecord* previous = CertificateFromContext(pPrevCertContext);
    const auto* wanted = static_cast<const CERT_INFO*>(pvFindPara);
    const bool usable = store != nullptr && dwFindType == CERT_FIND_SUBJECT_CERT && wanted != nullptr &&
                        (pPrevCertContext == nullptr || (previous != nullptr && previous->store == store));
    PCCERT_CONTEXT found = nullptr;
    if (usable) {
        for (std::size_t index = StartAfter(*store, previous); index < store->certificates.size(); ++index) {
            if (IsSubjectOf(*wanted, *store->certificates[index])) {
                found = HandOutContext(store->certificates[index]);
                break;
            }
        }
    }
    // A previous context passed in is always freed, found or not.
    if (pPrevCertContext != nullptr) {
        CertFreeCertificateContext(pPrevCertContext);
    }
    if (found == nullptr) {
        SetLastError(usable ? static_cast<DWORD>(CRYPT_E_NOT_FOUND) : static_cast<DWORD>(E_INVALIDARG));
    }
    return found;
}

extern "C" BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
    if (pCertContext == nullptr) {
        return TRUE;
    }
    CertificateRecord* record = CertificateFromContext(pCertContext);
    if (record == nullptr) return Fail(E_INVALIDARG);
    ReleaseStoreReference(record->store);
    return TRUE;
}
