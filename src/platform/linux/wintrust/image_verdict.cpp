#include "platform/linux/wintrust/image_verdict.h"

#include "platform/linux/winerror.h"
#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/certificate_table.h"
#include "platform/linux/wintrust/chain_policy.h"
#include "platform/linux/wintrust/image_digest.h"
#include "platform/linux/wintrust/indirect_data.h"
#include "platform/linux/wintrust/pe_layout.h"
#include "platform/linux/wintrust/signer_signature.h"
#include "platform/linux/wintrust/timestamp.h"

namespace velto::platform::wintrust {

namespace {

LONG ReadImageSignature(const InputFile& file, PeLayout& layout, ImageVerdict& verdict) {
    switch (ReadPeLayout(file, layout)) {
    case PeReadResult::kNotImage:
        return TRUST_E_SUBJECT_FORM_UNKNOWN;
    case PeReadResult::kMalformed:
        return TRUST_E_NOSIGNATURE;  // the PE reader claims every "MZ" file
    case PeReadResult::kImage:
        break;
    }
    std::vector<std::uint8_t> der;
    if (ReadEmbeddedSignature(file, layout, TableCheck::kWholeImage, der) != EmbeddedSignatureResult::kFound) {
        return TRUST_E_NOSIGNATURE;
    }
    auto message = std::make_unique<SignedMessage>();
    const bool parsed = ParseSignedMessage(std::move(der), *message);
    verdict.message = std::move(message);
    return parsed && SignerCount(*verdict.message) > 0 ? ERROR_SUCCESS : TRUST_E_NOSIGNATURE;
}

LONG CompareImageDigest(const InputFile& file, const PeLayout& layout, const SignedMessage& message) {
    IndirectData indirect;
    switch (ReadIndirectData(message.contentType, message.content, indirect)) {
    case IndirectDataResult::kMalformed:
        return TRUST_E_NOSIGNATURE;
    case IndirectDataResult::kUnsupportedDigest:
        return NTE_BAD_ALGID;
    case IndirectDataResult::kPeImage:
        break;
    }
    std::vector<std::uint8_t> actual;
    if (!ComputeImageDigest(file, layout, indirect.digestAlgorithm, actual)) {
        return TRUST_E_NOSIGNATURE;  // the file could not be read to its end
    }
    return actual == indirect.digest ? ERROR_SUCCESS : TRUST_E_BAD_DIGEST;
}

LONG CheckFirstSigner(const SignedMessage& message, X509*& certificate) {
    const PKCS7_SIGNER_INFO* signer = SignerAt(message, 0);
    const std::vector<std::uint8_t> issuer = SignerIssuer(signer);
    const std::vector<std::uint8_t> serial = SignerSerialLittleEndian(signer);
    const int index = FindCertificateByIssuerAndSerial(message.certificates.get(), issuer, serial);
    if (index < 0) {
        return TRUST_E_NO_SIGNER_CERT;
    }
    certificate = sk_X509_value(message.certificates.get(), index);
    switch (VerifySignerSignature(message, signer, X509_get0_pubkey(certificate))) {
    case SignerCheck::kValid:
        return ERROR_SUCCESS;
    case SignerCheck::kContentDigestMismatch:
        return TRUST_E_BAD_DIGEST;
    case SignerCheck::kUnknownDigest:
        return NTE_BAD_ALGID;
    case SignerCheck::kBadSignature:
        break;
    }
    return TRUST_E_CERT_SIGNATURE;
}

LONG JudgeChain(const SignedMessage& message, X509* certificate) {
    StoreOwner trust = LoadTrustStore();
    if (!trust) {
        return E_OUTOFMEMORY;
    }
    const std::optional<std::time_t> stamped = VerifiedTimestamp(SignerAt(message, 0), trust.get());
    const ChainOutcome outcome = CheckSignerChain(certificate, message.certificates.get(), trust.get(), stamped);
    return StatusForChainOutcome(outcome);
}

}  // namespace

ImageVerdict VerifyImageFile(const InputFile& file) {
    ImageVerdict verdict;
    PeLayout layout;
    verdict.status = ReadImageSignature(file, layout, verdict);
    if (verdict.status != ERROR_SUCCESS) {
        return verdict;
    }
    verdict.status = CompareImageDigest(file, layout, *verdict.message);
    if (verdict.status != ERROR_SUCCESS) {
        return verdict;
    }
    X509* certificate = nullptr;
    verdict.status = CheckFirstSigner(*verdict.message, certificate);
    if (verdict.status != ERROR_SUCCESS) {
        return verdict;
    }
    verdict.status = JudgeChain(*verdict.message, certificate);
    return verdict;
}

}  // namespace velto::platform::wintrust
