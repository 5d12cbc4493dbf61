// WinTrust's policy check, as far as the Authenticode verdict needs it.
#pragma once

#include "win_types.h"
#include "wincrypt.h"
#include "winerror.h"

struct WINTRUST_FILE_INFO {
    DWORD cbStruct;
    LPCWSTR pcwszFilePath;
    HANDLE hFile;
    GUID* pgKnownSubject;
};

struct WINTRUST_SIGNATURE_SETTINGS;

struct WINTRUST_DATA {
    DWORD cbStruct;
    LPVOID pPolicyCallbackData;
    LPVOID pSIPClientData;
    DWORD dwUIChoice;
    DWORD fdwRevocationChecks;
    DWORD dwUnionChoice;
    union {
        WINTRUST_FILE_INFO* pFile;
        void* pCatalog;
        void* pBlob;
        void* pSgnr;
        void* pCert;
    };
    DWORD dwStateAction;
    HANDLE hWVTStateData;
    WCHAR* pwszURLReference;
    DWORD dwProvFlags;
    DWORD dwUIContext;
    WINTRUST_SIGNATURE_SETTINGS* pSignatureSettings;
};

#define WTD_UI_NONE 2
#define WTD_REVOKE_NONE 0x00000000
#define WTD_CHOICE_FILE 1
#define WTD_STATEACTION_IGNORE 0x00000000
#define WTD_STATEACTION_VERIFY 0x00000001
#define WTD_STATEACTION_CLOSE 0x00000002
#define WTD_CACHE_ONLY_URL_RETRIEVAL 0x00001000
#define WTD_UICONTEXT_EXECUTE 0

// {00AAC56B-CD44-11D0-8CC2-00C04FC295EE}
#define WINTRUST_ACTION_GENERIC_VERIFY_V2 \
    { 0x00aac56b, 0xcd44, 0x11d0, { 0x8c, 0xc2, 0x00, 0xc0, 0x4f, 0xc2, 0x95, 0xee } }

extern "C" LONG WINAPI WinVerifyTrust(HWND hwnd, GUID* pgActionID, LPVOID pWVTData);

// What a verify call kept, as the provider's helpers hand it out. Windows'
// records hold much more (the request, the stores, the message, each
// signer's certificates and counter-signers); the layer gives the signers
// and each one's chain.
struct CRYPT_PROVIDER_SGNR {
    DWORD cbStruct;
    DWORD dwError;
    PCCERT_CHAIN_CONTEXT pChainContext;  // null when the chain was never judged
};

struct CRYPT_PROVIDER_DATA {
    DWORD cbStruct;
    DWORD csSigners;
    CRYPT_PROVIDER_SGNR* pasSigners;
    DWORD dwFinalError;
};

extern "C" CRYPT_PROVIDER_DATA* WINAPI WTHelperProvDataFromStateData(HANDLE hStateData);
extern "C" CRYPT_PROVIDER_SGNR* WINAPI WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner,
                                                                     BOOL fCounterSigner, DWORD idxCounterSigner);
