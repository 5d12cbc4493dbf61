#include "platform/linux/wintrust/image_verdict.h"

#include "platform/linux/winerror.h"
#include "platform/linux/wintrust/certificate_match.h"
#include "platform/linux/wintrust/certificate_table.h"
#include "platform/linux/wintrust/chain_policy.h"
#include "platform/linux/wintrust/digest_policy.h"
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
    // Authenticode has exactly one signer; a second one could be judged by
    // one reader and ignored by another.
    return parsed && SignerCount(*verdict.message) == 1 ? ERROR_SUCCESS : TRUST_E_NOSIGNATURE;
}

LONG CompareImageDigest(const InputFile& file, const PeLayout& layout, const SignedMessage& message,
                        IndirectData& indirect) {
    if (layout.certificateTableOffset < layout.imageDataEnd) {
        // Windows hashes the headers and sections whole, so its digest would
        // take in table bytes: no signature made over this digest holds there.
        return TRUST_E_BAD_DIGEST;
    }
    if (message.contentTag != der_tag::kSequence) {
        return TRUST_E_NOSIGNATURE;  // SpcIndirectDataContent is a SEQUENCE, not wrapped in anything
    }
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

LONG StatusForSignerCheck(SignerCheck check) {
    switch (check) {
    case SignerCheck::kValid:
        return ERROR_SUCCESS;
    case SignerCheck::kContentDigestMismatch:
        return TRUST_E_BAD_DIGEST;
    case SignerCheck::kRefusedDigest:
        return NTE_BAD_ALGID;
    case SignerCheck::kBadSignature:
        break;
    }
    return TRUST_E_CERT_SIGNATURE;
}

LONG CheckOnlySigner(const SignedMessage& message, const IndirectData& indirect, int& certificateIndex) {
    const PKCS7_SIGNER_INFO* signer = SignerAt(message, 0);
    if (!SignerDeclaresContentType(signer, kOidSpcIndirectData)) {
        return TRUST_E_NOSIGNATURE;
    }
    certificateIndex = FindCertificateByIssuerAndSerial(message.certificates.get(), SignerIssuer(signer),
                                                        SignerSerialLittleEndian(signer));
    if (certificateIndex < 0) {
        return TRUST_E_NO_SIGNER_CERT;
    }
    X509* certificate = sk_X509_value(message.certificates.get(), certificateIndex);
    const LONG status = StatusForSignerCheck(
        VerifySignerSignature(message.content, signer, SignerEncodingAt(message, 0), X509_get0_pubkey(certificate)));
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // The image digest must be as strong as the signature claims to be.
    return AcceptedDigest(signer->digest_alg) == indirect.digestAlgorithm ? ERROR_SUCCESS : NTE_BAD_ALGID;
}

// A timestamp that is there must verify. The chain is judged at the
// stamped moment, or now without one; a lifetime-signing certificate's
// signatures end with it, so its chain is judged now whatever the stamp.
LONG JudgeChain(const SignedMessage& message, X509* certificate, ImageVerdict& verdict) {
    StoreOwner trust = LoadTrustStore();
    if (!trust) {
        return E_OUTOFMEMORY;
    }
    const Timestamp stamp = CheckTimestamp(message, SignerAt(message, 0), trust.get());
    if (stamp.result == TimestampResult::kInvalid) {
        return TRUST_E_TIME_STAMP;
    }
    std::optional<std::time_t> validAt;
    if (stamp.result == TimestampResult::kVerified && !HasLifetimeSigningUsage(certificate)) {
        validAt = stamp.time;
    }
    const ChainOutcome outcome =
        CheckChain(certificate, message.certificates.get(), trust.get(), validAt, ChainUsage::kCodeSigning);
    verdict.chainErrors = ChainErrorBits(outcome);
    return StatusForChainOutcome(outcome);
}

}  // namespace

ImageVerdict VerifyImageFile(const InputFile& file) {
    ImageVerdict verdict;
    PeLayout layout;
    IndirectData indirect;
    verdict.status = ReadImageSignature(file, layout, verdict);
    if (verdict.status != ERROR_SUCCESS) {
        return verdict;
    }
    verdict.status = CompareImageDigest(file, layout, *verdict.message, indirect);
    if (verdict.status != ERROR_SUCCESS) {
        return verdict;
    }
    verdict.status = CheckOnlySigner(*verdict.message, indirect, verdict.signerCertificate);
    if (verdict.status != ERROR_SUCCESS) {
        return verdict;
    }
    X509* certificate = sk_X509_value(verdict.message->certificates.get(), verdict.signerCertificate);
    verdict.status = JudgeChain(*verdict.message, certificate, verdict);
    return verdict;
}

}  // namespace velto::platform::wintrust
