#include "fake_wintrust.h"

#include <cstring>

namespace {

WinTrustScript script;
const HCERTSTORE kStore = reinterpret_cast<HCERTSTORE>(0x5707);
const HCRYPTMSG kMessage = reinterpret_cast<HCRYPTMSG>(0x3E55);
std::uint8_t issuerBytes[] = {0x30, 0x03, 0x31, 0x01, 0x00};
std::uint8_t serialBytes[] = {0x01, 0x02};
std::uint8_t certificateBytes[] = {0x30, 0x82, 0x01, 0x00, 0xAA};
CERT_INFO certificateInfo{};
CERT_CONTEXT certificate{X509_ASN_ENCODING, certificateBytes, sizeof(certificateBytes), &certificateInfo, kStore};
void* trustState = nullptr;
CRYPT_PROVIDER_DATA providerData{};
CRYPT_PROVIDER_SGNR providerSigner{};
CERT_CHAIN_CONTEXT chain{};

void Record(const std::wstring& call) { script.calls.push_back(call); }

bool IsVerifyAction(const GUID* action) {
    const GUID expected = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return action != nullptr && std::memcmp(action, &expected, sizeof(GUID)) == 0;
}

// The request as the check must fill it, apart from the state fields.
bool IsExpectedRequest(const WINTRUST_DATA* data) {
    return data->cbStruct == sizeof(WINTRUST_DATA) && data->pPolicyCallbackData == nullptr &&
           data->pSIPClientData == nullptr && data->dwUIChoice == WTD_UI_NONE &&
           data->fdwRevocationChecks == WTD_REVOKE_NONE && data->dwUnionChoice == WTD_CHOICE_FILE &&
           data->pFile != nullptr && data->pFile->cbStruct == sizeof(WINTRUST_FILE_INFO) &&
           data->pFile->hFile == nullptr && data->pFile->pgKnownSubject == nullptr &&
           data->pwszURLReference == nullptr && data->dwProvFlags == WTD_CACHE_ONLY_URL_RETRIEVAL &&
           data->dwUIContext == 0;
}

}  // namespace

WinTrustScript& TrustScript() { return script; }

void ResetTrustScript() {
    script = WinTrustScript{};
    trustState = nullptr;
}

extern "C" LONG WINAPI WinVerifyTrust(HWND window, GUID* action, LPVOID request) {
    auto* data = static_cast<WINTRUST_DATA*>(request);
    const bool plain = window == nullptr && IsVerifyAction(action) && IsExpectedRequest(data);
    const std::wstring path = data->pFile != nullptr ? data->pFile->pcwszFilePath : L"";
    if (data->dwStateAction == WTD_STATEACTION_VERIFY && data->hWVTStateData == nullptr) {
        Record(std::wstring(plain ? L"trust verify " : L"trust verify unexpected ") + path);
        trustState = &script;
        data->hWVTStateData = trustState;
        return script.trustStatus;
    }
    const bool closesState = data->dwStateAction == WTD_STATEACTION_CLOSE && data->hWVTStateData == trustState;
    Record(plain && closesState ? L"trust close" : L"trust close unexpected");
    return 0;
}

extern "C" CRYPT_PROVIDER_DATA* WINAPI WTHelperProvDataFromStateData(HANDLE state) {
    Record(state != nullptr && state == trustState ? L"provider data" : L"provider data unexpected");
    return script.providerDataKept ? &providerData : nullptr;
}

extern "C" CRYPT_PROVIDER_SGNR* WINAPI WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* data, DWORD signer,
                                                                     BOOL counterSigner, DWORD counterSignerIndex) {
    const bool plain = data == &providerData && signer == 0 && !counterSigner && counterSignerIndex == 0;
    Record(plain ? L"provider signer" : L"provider signer unexpected");
    chain.TrustStatus.dwErrorStatus = script.chainErrors;
    providerSigner.pChainContext = script.chainKept ? &chain : nullptr;
    return script.signerKept ? &providerSigner : nullptr;
}

extern "C" BOOL WINAPI CryptQueryObject(DWORD objectType, const void* object, DWORD contentFlags, DWORD formatFlags,
                                        DWORD flags, DWORD* encoding, DWORD* contentType, DWORD* formatType,
                                        HCERTSTORE* store, HCRYPTMSG* message, const void** context) {
    const bool plain = objectType == 1 && contentFlags == 0x400 && formatFlags == 2 && flags == 0 &&
                       encoding != nullptr && contentType != nullptr && formatType != nullptr && context == nullptr;
    Record(std::wstring(plain ? L"query " : L"query unexpected ") + static_cast<const wchar_t*>(object));
    if (!script.queryFinds) return FALSE;
    *store = script.queryYieldsStore ? kStore : nullptr;
    *message = script.queryYieldsMessage ? kMessage : nullptr;
    return TRUE;
}

extern "C" BOOL WINAPI CryptMsgGetParam(HCRYPTMSG message, DWORD param, DWORD index, void* data, DWORD* size) {
    const bool plain = message == kMessage && param == CMSG_SIGNER_INFO_PARAM && index == 0;
    if (data == nullptr) {
        Record(plain ? L"signer size" : L"signer size unexpected");
        if (!script.signerSizeKnown) return FALSE;
        *size = script.signerSize;
        return TRUE;
    }
    Record(plain && *size == script.signerSize ? L"signer copy" : L"signer copy unexpected");
    if (!script.signerCopied) return FALSE;
    auto* signer = static_cast<CMSG_SIGNER_INFO*>(data);
    signer->Issuer = {sizeof(issuerBytes), issuerBytes};
    signer->SerialNumber = {sizeof(serialBytes), serialBytes};
    return TRUE;
}

extern "C" PCCERT_CONTEXT WINAPI CertFindCertificateInStore(HCERTSTORE store, DWORD encoding, DWORD flags,
                                                            DWORD findType, const void* criteria,
                                                            PCCERT_CONTEXT previous) {
    const auto* info = static_cast<const CERT_INFO*>(criteria);
    const bool plain = store == kStore && encoding == 0x10001 && flags == 0 && findType == 0xB0000 &&
                       previous == nullptr && info->Issuer.pbData == issuerBytes &&
                       info->SerialNumber.pbData == serialBytes && info->Subject.pbData == nullptr;
    Record(plain ? L"find" : L"find unexpected");
    return script.certificateFound ? &certificate : nullptr;
}

extern "C" BOOL WINAPI CryptMsgControl(HCRYPTMSG message, DWORD flags, DWORD control, const void* parameter) {
    const bool plain = message == kMessage && flags == 0 && control == CMSG_CTRL_VERIFY_SIGNATURE &&
                       parameter == &certificateInfo;
    Record(plain ? L"verify signature" : L"verify signature unexpected");
    return script.signatureVerifies ? TRUE : FALSE;
}

extern "C" BOOL WINAPI CryptHashCertificate2(LPCWSTR algorithm, DWORD flags, void* reserved, const BYTE* encoded,
                                             DWORD encodedLength, BYTE* hash, DWORD* hashLength) {
    const bool plain = std::wstring(algorithm) == L"SHA256" && flags == 0 && reserved == nullptr &&
                       encoded == certificateBytes && encodedLength == sizeof(certificateBytes) && *hashLength == 32;
    Record(plain ? L"fingerprint" : L"fingerprint unexpected");
    if (!script.fingerprintComputed) return FALSE;
    std::memcpy(hash, script.fingerprint.data(), 32);
    *hashLength = 32;
    return TRUE;
}

extern "C" BOOL WINAPI CertFreeCertificateContext(PCCERT_CONTEXT context) {
    Record(context == &certificate ? L"free certificate" : L"free unknown certificate");
    return TRUE;
}

extern "C" BOOL WINAPI CryptMsgClose(HCRYPTMSG message) {
    Record(message == kMessage ? L"close message" : L"close unknown message");
    return TRUE;
}

extern "C" BOOL WINAPI CertCloseStore(HCERTSTORE store, DWORD flags) {
    Record(store == kStore && flags == 0 ? L"close store" : L"close store unexpected");
    return TRUE;
}
