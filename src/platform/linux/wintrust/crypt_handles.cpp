#include "platform/linux/wintrust/crypt_handles.h"

#include <type_traits>

#include "platform/linux/wintrust/certificate_context.h"

namespace velto::platform::wintrust {

namespace {

// Tags that mark live records, so a stale or foreign handle is refused.
constexpr std::uint32_t kStoreTag = 0x53544F52;        // "STOR"
constexpr std::uint32_t kMessageTag = 0x4D534721;      // "MSG!"
constexpr std::uint32_t kCertificateTag = 0x43455254;  // "CERT"

static_assert(std::is_standard_layout_v<CertificateRecord>,
              "a context pointer must convert back to its record");

void DeleteStore(StoreRecord* store) {
    for (auto it = store->certificates.rbegin(); it != store->certificates.rend(); ++it) {
        CertificateRecord* record = *it;
        record->tag = 0;
        delete record->data;
        delete record;
    }
    store->tag = 0;
    delete store;
}

}  // namespace

StoreRecord* NewStoreFromMessage(const SignedMessage& message) {
    auto* store = new StoreRecord;
    store->tag = kStoreTag;
    store->references = 1;
    store->handleOpen = true;
    for (std::size_t index = 0; index < message.certificateEncodings.size(); ++index) {
        X509* parsed = sk_X509_value(message.certificates.get(), static_cast<int>(index));
        auto data = std::make_unique<CertificateData>();
        if (!DescribeCertificate(parsed, message.certificateEncodings[index], *data)) {
            DeleteStore(store);
            return nullptr;
        }
        auto* record = new CertificateRecord{};
        record->tag = kCertificateTag;
        record->store = store;
        record->data = data.release();
        FillCertificateContext(*record->data, store, record->context, record->info);
        store->certificates.push_back(record);
    }
    return store;
}

StoreRecord* StoreFromHandle(HCERTSTORE handle) {
    auto* store = static_cast<StoreRecord*>(handle);
    return store != nullptr && store->tag == kStoreTag ? store : nullptr;
}

void ReleaseStoreReference(StoreRecord* store) {
    if (store != nullptr && --store->references == 0) {
        DeleteStore(store);
    }
}

MessageRecord* NewMessageRecord() {
    auto* record = new MessageRecord;
    record->tag = kMessageTag;
    return record;
}

MessageRecord* MessageFromHandle(HCRYPTMSG handle) {
    auto* record = static_cast<MessageRecord*>(handle);
    return record != nullptr && record->tag == kMessageTag ? record : nullptr;
}

void DeleteMessageRecord(MessageRecord* record) {
    record->tag = 0;
    delete record;
}

CertificateRecord* CertificateFromContext(PCCERT_CONTEXT context) {
    auto* record = reinterpret_cast<CertificateRecord*>(const_cast<CERT_CONTEXT*>(context));
    return record != nullptr && record->tag == kCertificateTag ? record : nullptr;
}

PCCERT_CONTEXT HandOutContext(CertificateRecord* record) {
    ++record->store->references;
    return &record->context;
}

}  // namespace velto::platform::wintrust
