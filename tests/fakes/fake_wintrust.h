// A scriptable stand-in for WinTrust and the CryptoAPI message and
// certificate operations of the signature check, recording each call.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_api.h"

struct WinTrustScript {
    LONG trustStatus = 0;
    bool queryFinds = true;
    bool queryYieldsStore = true;
    bool queryYieldsMessage = true;
    bool signerSizeKnown = true;
    DWORD signerSize = sizeof(CMSG_SIGNER_INFO) + 8;
    bool signerCopied = true;
    bool certificateFound = true;
    bool signatureVerifies = true;
    bool fingerprintComputed = true;
    std::array<std::uint8_t, 32> fingerprint{};
    bool providerDataKept = true, signerKept = true, chainKept = true;  // what the trust state yields
    DWORD chainErrors = 0;

    std::vector<std::wstring> calls;
};

WinTrustScript& TrustScript();
void ResetTrustScript();
