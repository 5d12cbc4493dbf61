#include "verify/installer_signature.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win_api.h"
#include "verify/hex_text.h"

namespace {

constexpr DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kFingerprintLength = 32;

// Everything the check opens, released together in reverse order.
struct SignatureHandles {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    std::vector<std::uint8_t> signerInfo;
};

bool IsAcceptedTrustStatus(LONG status) {
    return status == 0 || status == CERT_E_UNTRUSTEDROOT || status == CERT_E_CHAINING;
}

bool OpenEmbeddedSignature(const std::wstring& path, SignatureHandles& handles) {
    DWORD encoding = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    const BOOL found = CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                                        CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                                        0, &encoding, &contentType, &formatType, &handles.store,
                                        &handles.message, nullptr);
    return found && handles.store != nullptr && handles.message != nullptr;
}

bool ReadFirstSignerInfo(SignatureHandles& handles) {
    DWORD size = 0;
    if (!CryptMsgGetParam(handles.message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) || size == 0) return false;
    handles.signerInfo.assign(size, 0);
    return CryptMsgGetParam(handles.message, CMSG_SIGNER_INFO_PARAM, 0, handles.signerInfo.data(), &size);
}

bool FindSignerCertificate(SignatureHandles& handles) {
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(handles.signerInfo.data());
    CERT_INFO criteria = {};
    criteria.Issuer = signer->Issuer;
    criteria.SerialNumber = signer->SerialNumber;
    handles.certificate = CertFindCertificateInStore(handles.store, kCertificateEncoding, 0,
                                                     CERT_FIND_SUBJECT_CERT, &criteria, nullptr);
    return handles.certificate != nullptr;
}

bool PinMatches(const std::uint8_t* fingerprint, DWORD length, const std::wstring& pinnedThumbprint) {
    const std::wstring actual = NormalizeHex(BytesToHex(fingerprint, length));
    const std::wstring expected = NormalizeHex(pinnedThumbprint);
    return !expected.empty() && HexEquals(actual, expected);
}

std::wstring TrustRejectionMessage(LONG status) {
    if (status == TRUST_E_BAD_DIGEST) return L"Security check failed: the signed Velto setup was modified after signing.";
    if (status == TRUST_E_NOSIGNATURE) return L"Security check failed: the Velto setup is unsigned.";
    // The status as an unsigned 32-bit number, "0x" and eight upper-case
    // digits with leading zeros kept.
    const auto value = static_cast<std::uint32_t>(status);
    const std::uint8_t bigEndian[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                       static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    return L"Windows rejected the Velto setup signature (0x" + BytesToHex(bigEndian, 4) + L").";
}

// Steps after the policy call, each ending the check with its own message.
bool CheckSignerAndVerdict(const std::wstring& path, const std::wstring& pinnedThumbprint, LONG trustStatus,
                           SignatureHandles& handles, std::wstring& errorText) {
    if (!OpenEmbeddedSignature(path, handles)) {
        errorText = L"The downloaded Velto setup has no readable Authenticode signature.";
        return false;
    }
    if (!ReadFirstSignerInfo(handles)) {
        errorText = L"Could not read the Velto setup signer information.";
        return false;
    }
    if (!FindSignerCertificate(handles)) {
        errorText = L"Could not locate the embedded Velto setup signing certificate.";
        return false;
    }
    if (!CryptMsgControl(handles.message, 0, CMSG_CTRL_VERIFY_SIGNATURE, handles.certificate->pCertInfo)) {
        errorText = L"The Velto setup signature is cryptographically invalid.";
        return false;
    }
    std::uint8_t fingerprint[kFingerprintLength] = {};
    DWORD fingerprintLength = kFingerprintLength;
    if (!CryptHashCertificate2(L"SHA256", 0, nullptr, handles.certificate->pbCertEncoded,
                               handles.certificate->cbCertEncoded, fingerprint, &fingerprintLength)) {
        errorText = L"Could not calculate the Velto setup signing certificate SHA-256 fingerprint.";
        return false;
    }
    if (!PinMatches(fingerprint, std::min(fingerprintLength, kFingerprintLength), pinnedThumbprint)) {
        errorText = L"Security check failed: the Velto setup was not signed by the certificate pinned into this bootstrapper.";
        return false;
    }
    if (!IsAcceptedTrustStatus(trustStatus)) {
        errorText = TrustRejectionMessage(trustStatus);
        return false;
    }
    return true;
}

}  // namespace

bool VerifyInstallerSignature(const std::wstring& path, const std::wstring& pinnedThumbprint,
                              std::wstring& errorText) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();

    WINTRUST_DATA trust = {};
    trust.cbStruct = sizeof(trust);
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &fileInfo;
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    trust.dwUIContext = WTD_UICONTEXT_EXECUTE;

    // The verdict is asked for first but judged last, after the pin.
    const LONG trustStatus = WinVerifyTrust(nullptr, &action, &trust);

    SignatureHandles handles;
    const bool verified = CheckSignerAndVerdict(path, pinnedThumbprint, trustStatus, handles, errorText);

    if (handles.certificate != nullptr) CertFreeCertificateContext(handles.certificate);
    if (handles.message != nullptr) CryptMsgClose(handles.message);
    if (handles.store != nullptr) CertCloseStore(handles.store, 0);
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(nullptr, &action, &trust);
    return verified;
}
