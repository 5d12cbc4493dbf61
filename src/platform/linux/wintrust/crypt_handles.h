// What the CryptoAPI handles stand for: a certificate store made from a
// signature's embedded certificates, a decoded signed message, and the
// certificate contexts a store hands out. A store lives until it has been
// closed and every context taken from it has been freed, as on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/wincrypt.h"
#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

struct StoreRecord;

// The memory that the pointers of one CERT_CONTEXT and its CERT_INFO point into.
struct CertificateData {
    std::vector<std::uint8_t> encoded;  // the certificate's original bytes
    std::vector<std::uint8_t> serial;   // little-endian
    std::vector<std::uint8_t> issuer;
    std::vector<std::uint8_t> subject;
    std::string keyAlgorithm;
    std::vector<std::uint8_t> keyParameters;
    std::vector<std::uint8_t> publicKey;
};

// Standard layout with the CERT_CONTEXT first, so a PCCERT_CONTEXT handed
// out is the address of its record.
struct CertificateRecord {
    CERT_CONTEXT context;
    CERT_INFO info;
    std::uint32_t tag;
    StoreRecord* store;
    CertificateData* data;
};

struct StoreRecord {
    std::uint32_t tag = 0;
    std::size_t references = 0;  // the open handle plus every context handed out
    bool handleOpen = false;     // the store handle itself has not been closed yet
    std::vector<CertificateRecord*> certificates;
};

struct MessageRecord {
    std::uint32_t tag = 0;
    SignedMessage message;
};

// A store holding a context for every certificate embedded in the message.
StoreRecord* NewStoreFromMessage(const SignedMessage& message);
StoreRecord* StoreFromHandle(HCERTSTORE handle);
void ReleaseStoreReference(StoreRecord* store);

MessageRecord* NewMessageRecord();
MessageRecord* MessageFromHandle(HCRYPTMSG handle);
void DeleteMessageRecord(MessageRecord* record);

CertificateRecord* CertificateFromContext(PCCERT_CONTEXT context);
// A context for the caller: one more reference on its store.
PCCERT_CONTEXT HandOutContext(CertificateRecord* record);

}  // namespace velto::platform::wintrust
