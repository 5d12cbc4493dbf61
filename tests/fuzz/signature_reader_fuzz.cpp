// libFuzzer target for the PE reader, the certificate table, the PKCS #7
// and Authenticode parsing and the CryptoAPI records built from them. The
// input is handed over as a memory file, so the same bounded reads run as
// for a file on disk.
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/linux/wintrust/certificate_table.h"
#include "platform/linux/wintrust/crypt_handles.h"
#include "platform/linux/wintrust/image_verdict.h"
#include "platform/linux/wintrust/pe_layout.h"
#include "platform/linux/wintrust/signer_info_layout.h"
#include "platform/win_api.h"

namespace {

using namespace velto::platform::wintrust;

// What CryptQueryObject and the signer queries do with the same bytes.
void ReadLikeCryptoApi(const InputFile& file) {
    PeLayout layout;
    std::vector<std::uint8_t> der;
    if (ReadPeLayout(file, layout) != PeReadResult::kImage ||
        ReadEmbeddedSignature(file, layout, TableCheck::kSignatureOnly, der) != EmbeddedSignatureResult::kFound) {
        return;
    }
    MessageRecord* message = NewMessageRecord();
    StoreRecord* store = nullptr;
    if (ParseSignedMessage(std::move(der), message->message)) {
        store = NewStoreFromMessage(message->message);
        SignerInfoPieces pieces;
        if (store != nullptr && CollectSignerInfo(SignerAt(message->message, 0), pieces)) {
            std::vector<BYTE> buffer(LayOutSignerInfo(pieces, nullptr));
            LayOutSignerInfo(pieces, buffer.data());
            const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
            CERT_INFO criteria = {};
            criteria.Issuer = signer->Issuer;
            criteria.SerialNumber = signer->SerialNumber;
            PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                              CERT_FIND_SUBJECT_CERT, &criteria, nullptr);
            if (found != nullptr) {
                CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE, found->pCertInfo);
                CertFreeCertificateContext(found);
            }
        }
    }
    if (store != nullptr) {
        CertCloseStore(store, 0);
    }
    CryptMsgClose(message);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // No system roots: chain building stays quick and the same everywhere.
    setenv("SSL_CERT_FILE", "/nonexistent/velto-fuzz-roots.pem", 1);
    setenv("SSL_CERT_DIR", "/nonexistent/velto-fuzz-roots", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int descriptor = memfd_create("velto-fuzz-input", MFD_CLOEXEC);
    if (descriptor < 0) {
        return 0;
    }
    InputFile file;
    if (write(descriptor, data, size) == static_cast<ssize_t>(size) && AdoptInputFile(descriptor, file)) {
        VerifyImageFile(file);
        ReadLikeCryptoApi(file);
    }
    close(descriptor);
    return 0;
}
