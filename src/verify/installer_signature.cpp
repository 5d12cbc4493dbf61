#include "verify/installer_signature.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "verify/chain_error_status.h"
#include "verify/hex_text.h"
#include "verify/trust_request.h"

namespace {

constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kFingerprintLength = 32;

// CryptQueryObject takes a name, not a handle. The staged file's name lies
// in the held staging folder, which only elevated code can change, and the
// file itself is held against writers and renaming; the policy's verdict,
// which reads through the hold, is of the same file.
bool OpenSignature(const std::wstring& path, EmbeddedSignature& signature) {
    DWORD encoding = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    const BOOL found = CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                                        0, &encoding, &contentType, &formatType, signature.store.Receive(),
                                        signature.message.Receive(), nullptr);
    return found && signature.store && signature.message;
}

bool ReadFirstSignerInfo(EmbeddedSignature& signature) {
    DWORD size = 0;
    if (!CryptMsgGetParam(signature.message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return false;
    signature.signerInfo.assign(size, 0);
    return CryptMsgGetParam(signature.message.get(), CMSG_SIGNER_INFO_PARAM, 0, signature.signerInfo.data(), &size);
}

bool FindSignerCertificate(EmbeddedSignature& signature) {
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(signature.signerInfo.data());
    CERT_INFO criteria = {};
    criteria.Issuer = signer->Issuer;
    criteria.SerialNumber = signer->SerialNumber;
    signature.certificate.Reset(CertFindCertificateInStore(signature.store.get(), kCertificateEncoding, 0,
                                                           CERT_FIND_SUBJECT_CERT, &criteria, nullptr));
    return static_cast<bool>(signature.certificate);
}

bool IsToleratedTrustStatus(LONG status) {
    return status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING;
}

// The verdict to judge: the policy's status, unless it is one of the two
// tolerated ones, which may stand in front of problems the policy ranks
// lower. Then the signer's chain decides, read from the state the verify
// call kept; a chain that cannot be read proves nothing, so the tolerated
// status is then refused as it stands.
LONG TrustVerdict(LONG trustStatus, HANDLE trustState) {
    if (!IsToleratedTrustStatus(trustStatus)) return trustStatus;
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(trustState);
    const CRYPT_PROVIDER_SGNR* signer = provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->pChainContext == nullptr) return trustStatus;
    return StatusForChainErrors(signer->pChainContext->TrustStatus.dwErrorStatus);
}

bool PinMatches(const std::wstring& fingerprint, const std::wstring& pinnedThumbprint) {
    const std::wstring expected = NormalizeHex(pinnedThumbprint);
    return !expected.empty() && HexEquals(fingerprint, expected);
}

std::wstring TrustRejectionMessage(LONG status) {
    if (status == TRUST_E_BAD_DIGEST) return kModifiedMessage;
    if (status == TRUST_E_NOSIGNATURE) return kUnsignedMessage;
    // The status as an unsigned 32-bit number, "0x" and eight upper-case
    // digits with leading zeros kept.
    const auto value = static_cast<std::uint32_t>(status);
    const std::uint8_t bigEndian[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                       static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return kSignatureRejectedPrefix + (L"0x" + BytesToHex(bigEndian, 4)) + L").";
}

// Steps after the policy call, each ending the check with its own message.
// What reading the signature opened is released on the way out, before the
// policy's state is.
bool CheckSignerAndVerdict(const std::wstring& path, const std::wstring& pinnedThumbprint, LONG trustStatus,
                           HANDLE trustState, std::wstring& errorText) {
    EmbeddedSignature signature;
    std::wstring fingerprint;
    if (!FingerprintEmbeddedSigner(path, signature, fingerprint, errorText)) return false;
    if (!PinMatches(fingerprint, pinnedThumbprint)) {
        errorText = kNotPinnedMessage;
        return false;
    }
    const LONG verdict = TrustVerdict(trustStatus, trustState);
    if (verdict != 0) {
        errorText = TrustRejectionMessage(verdict);
        return false;
    }
    return true;
}

}  // namespace

bool FingerprintCertificate(const std::uint8_t* encoded, std::size_t size, std::wstring& fingerprint) {
    if (size > std::numeric_limits<DWORD>::max()) return false;
    std::uint8_t digest[kFingerprintLength] = {};
    DWORD length = kFingerprintLength;
    if (!CryptHashCertificate2(L"SHA256", 0, nullptr, encoded, static_cast<DWORD>(size), digest, &length)) {
        return false;
    }
    fingerprint = NormalizeHex(BytesToHex(digest, std::min(length, kFingerprintLength)));
    return true;
}

bool FingerprintEmbeddedSigner(const std::wstring& path, EmbeddedSignature& signature, std::wstring& fingerprint,
                               std::wstring& errorText) {
    if (!OpenSignature(path, signature)) {
        errorText = kNoSignatureMessage;
        return false;
    }
    if (!ReadFirstSignerInfo(signature)) {
        errorText = kNoSignerInfoMessage;
        return false;
    }
    if (!FindSignerCertificate(signature)) {
        errorText = kNoSignerCertificateMessage;
        return false;
    }
    const PCCERT_CONTEXT certificate = signature.certificate.get();
    if (!CryptMsgControl(signature.message.get(), 0, CMSG_CTRL_VERIFY_SIGNATURE, certificate->pCertInfo)) {
        errorText = kSignatureInvalidMessage;
        return false;
    }
    if (!FingerprintCertificate(certificate->pbCertEncoded, certificate->cbCertEncoded, fingerprint)) {
        errorText = kFingerprintFailedMessage;
        return false;
    }
    return true;
}

bool VerifyInstallerSignature(const std::wstring& path, const std::wstring& pinnedThumbprint,
                              std::wstring& errorText, HANDLE heldFile) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO fileInfo;
    WINTRUST_DATA trust = MakeFileTrustRequest(fileInfo, path, heldFile);

    // The verdict is asked for first but judged last, after the pin.
    const LONG trustStatus = WinVerifyTrust(nullptr, &action, &trust);
    const bool verified = CheckSignerAndVerdict(path, pinnedThumbprint, trustStatus, trust.hWVTStateData, errorText);

    // The policy keeps state from the first call whatever its verdict.
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action, &trust);
    return verified;
}
