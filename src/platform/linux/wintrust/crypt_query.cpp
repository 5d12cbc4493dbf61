// CryptQueryObject for the one question the bootstrapper asks of it: the
// PKCS #7 signature embedded in a PE file, in binary form. It reads the
// first entry of the certificate table the way the PE subject interface
// does, without judging the rest of the image; that is WinVerifyTrust's job.
// Also the closing of the store and message it returns.
#include <string>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/certificate_table.h"
#include "platform/linux/wintrust/crypt_handles.h"
#include "platform/linux/wintrust/input_file.h"
#include "platform/linux/wintrust/pe_layout.h"

namespace {

using namespace velto::platform::wintrust;
using velto::platform::Fail;

bool AsksForEmbeddedBinaryPkcs7(DWORD objectType, DWORD contentFlags, DWORD formatFlags) {
    return objectType == CERT_QUERY_OBJECT_FILE && (contentFlags & CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED) != 0 &&
           (formatFlags & CERT_QUERY_FORMAT_FLAG_BINARY) != 0;
}

// The embedded signature's DER, or a failure with the last error set.
bool ReadSignatureOfFile(const wchar_t* widePath, std::vector<std::uint8_t>& der) {
    std::string path;
    if (widePath == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (!velto::platform::WidePathToUtf8(widePath, path)) {
        return false;
    }
    InputFile file = OpenInputFile(path);
    if (file.descriptor < 0) {
        return false;
    }
    PeLayout layout;
    const bool found = ReadPeLayout(file, layout) == PeReadResult::kImage &&
                       ReadEmbeddedSignature(file, layout, TableCheck::kSignatureOnly, der) ==
                           EmbeddedSignatureResult::kFound;
    CloseInputFile(file);
    if (!found) {
        SetLastError(static_cast<DWORD>(CRYPT_E_NO_MATCH));
    }
    return found;
}

}  // namespace

extern "C" BOOL WINAPI CryptQueryObject(DWORD dwObjectType, const void* pvObject, DWORD dwExpectedContentTypeFlags,
                                        DWORD dwExpectedFormatTypeFlags, DWORD, DWORD* pdwMsgAndCertEncodingType,
                                        DWORD* pdwContentType, DWORD* pdwFormatType, HCERTSTORE* phCertStore,
                                        HCRYPTMSG* phMsg, const void** ppvContext) {
    if (ppvContext != nullptr) {
        *ppvContext = nullptr;
    }
    if (!AsksForEmbeddedBinaryPkcs7(dwObjectType, dwExpectedContentTypeFlags, dwExpectedFormatTypeFlags)) {
        return Fail(CRYPT_E_NO_MATCH);
    }
    std::vector<std::uint8_t> der;
    if (!ReadSignatureOfFile(static_cast<const wchar_t*>(pvObject), der)) {
        return FALSE;
    }
    MessageRecord* message = NewMessageRecord();
    if (!ParseSignedMessage(std::move(der), message->message)) {
        DeleteMessageRecord(message);
        return Fail(CRYPT_E_ASN1_BADTAG);
    }
    StoreRecord* store = NewStoreFromMessage(message->message);
    if (store == nullptr) {
        DeleteMessageRecord(message);
        return Fail(CRYPT_E_ASN1_BADTAG);
    }
    if (pdwMsgAndCertEncodingType != nullptr) {
        *pdwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    }
    if (pdwContentType != nullptr) {
        *pdwContentType = CERT_QUERY_CONTENT_PKCS7_SIGNED_EMBED;
    }
    if (pdwFormatType != nullptr) {
        *pdwFormatType = CERT_QUERY_FORMAT_BINARY;
    }
    // What the caller did not ask for is released at once.
    if (phCertStore != nullptr) {
        *phCertStore = store;
    } else {
        CertCloseStore(store, 0);
    }
    if (phMsg != nullptr) {
        *phMsg = message;
    } else {
        DeleteMessageRecord(message);
    }
    return TRUE;
}

extern "C" BOOL WINAPI CryptMsgClose(HCRYPTMSG hCryptMsg) {
    if (hCryptMsg == nullptr) {
        return TRUE;
    }
    MessageRecord* message = MessageFromHandle(hCryptMsg);
    if (message == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    DeleteMessageRecord(message);
    return TRUE;
}

// With flags 0 a store that still has contexts out stays alive until the
// last of them is freed, and the call succeeds, as on Windows.
extern "C" BOOL WINAPI CertCloseStore(HCERTSTORE hCertStore, DWORD) {
    if (hCertStore == nullptr) {
        return TRUE;
    }
    StoreRecord* store = StoreFromHandle(hCertStore);
    if (store == nullptr || !store->handleOpen) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    store->handleOpen = false;
    ReleaseStoreReference(store);
    return TRUE;
}
