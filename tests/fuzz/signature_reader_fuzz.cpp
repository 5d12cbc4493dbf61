// libFuzzer target for the PE reader, the certificate table, the PKCS #7
// and Authenticode parsing, the chain and timestamp checks and the
// CryptoAPI records built from them. The input is handed over as a memory
// file, so the same bounded reads run as for a file on disk.
//
// With VELTO_FUZZ_TRUSTED_ROOT naming the test root that signed the seeds,
// mutated files can still be accepted, and then the CryptoAPI path that
// the installer check takes must agree: it must find the same signer
// certificate, byte for byte, and verify the signature with it.
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_input.h"
#include "platform/linux/wintrust/certificate_table.h"
#include "platform/linux/wintrust/crypt_handles.h"
#include "platform/linux/wintrust/image_verdict.h"
#include "platform/linux/wintrust/pe_layout.h"
#include "platform/linux/wintrust/signer_info_layout.h"
#include "platform/win_api.h"

namespace {

using namespace velto::platform::wintrust;
using velto::fuzz::Require;

struct CryptoApiView {
    bool signatureVerified = false;
    std::vector<std::uint8_t> certificate;  // the encoding of the signer certificate found
};

// What CryptQueryObject, CryptMsgGetParam, CertFindCertificateInStore and
// CryptMsgControl do with the same bytes.
CryptoApiView ReadLikeCryptoApi(const InputFile& file) {
    CryptoApiView view;
    PeLayout layout;
    std::vector<std::uint8_t> der;
    if (ReadPeLayout(file, layout) != PeReadResult::kImage ||
        ReadEmbeddedSignature(file, layout, TableCheck::kSignatureOnly, der) != EmbeddedSignatureResult::kFound) {
        return view;
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
                view.signatureVerified =
                    CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE, found->pCertInfo) != FALSE;
                view.certificate.assign(found->pbCertEncoded, found->pbCertEncoded + found->cbCertEncoded);
                CertFreeCertificateContext(found);
            }
        }
    }
    if (store != nullptr) {
        CertCloseStore(store, 0);
    }
    CryptMsgClose(message);
    return view;
}

bool IsAcceptedStatus(LONG status) {
    return status == 0 || status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING;
}

void CrossCheck(const ImageVerdict& verdict, const CryptoApiView& view) {
    if (!IsAcceptedStatus(verdict.status)) {
        return;
    }
    Require(verdict.message != nullptr && verdict.signerCertificate >= 0, "an accepted verdict names its signer");
    const Bytes judged = verdict.message->certificateEncodings[static_cast<std::size_t>(verdict.signerCertificate)];
    Require(SameBytes(judged, view.certificate), "CryptoAPI finds the certificate the verdict judged");
    Require(view.signatureVerified, "CryptoAPI verifies the signature the verdict accepted");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Only the test root, or no root at all: chain building stays quick and
    // the same everywhere.
    const char* root = std::getenv("VELTO_FUZZ_TRUSTED_ROOT");
    setenv("SSL_CERT_FILE", root != nullptr ? root : "/nonexistent/velto-fuzz-roots.pem", 1);
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
        const ImageVerdict verdict = VerifyImageFile(file);
        CrossCheck(verdict, ReadLikeCryptoApi(file));
    }
    close(descriptor);
    return 0;
}
