#include "platform/linux/wintrust/trust_state.h"

#include <atomic>
#include <cstdint>

#include "platform/linux/wintrust.h"
#include "platform/linux/wintrust/signed_message.h"

namespace velto::platform::wintrust {

namespace {

// Marks a live state, so a stale or foreign handle is refused rather than freed.
constexpr std::uint32_t kLiveStateTag = 0x54525354;  // "TRST"

// The provider records point into the same state and live exactly as long.
struct TrustState {
    std::uint32_t tag = kLiveStateTag;
    ImageVerdict verdict;
    CERT_CHAIN_CONTEXT chain{};
    CRYPT_PROVIDER_SGNR signer{};
    CRYPT_PROVIDER_DATA provider{};
};

std::atomic<std::size_t> openStates{0};

// Authenticode has one signer; once the signature was read it is there,
// and its chain once the chain was judged.
void DescribeProvider(TrustState& state) {
    const ImageVerdict& verdict = state.verdict;
    state.provider.cbStruct = sizeof(CRYPT_PROVIDER_DATA);
    state.provider.dwFinalError = static_cast<DWORD>(verdict.status);
    state.provider.pasSigners = &state.signer;
    state.provider.csSigners = verdict.message != nullptr && SignerCount(*verdict.message) > 0 ? 1 : 0;
    state.signer.cbStruct = sizeof(CRYPT_PROVIDER_SGNR);
    state.signer.dwError = static_cast<DWORD>(verdict.status);
    if (verdict.chainErrors.has_value()) {
        state.chain.cbSize = sizeof(CERT_CHAIN_CONTEXT);
        state.chain.TrustStatus.dwErrorStatus = *verdict.chainErrors;
        state.signer.pChainContext = &state.chain;
    }
}

TrustState* LiveState(HANDLE handle) {
    auto* state = static_cast<TrustState*>(handle);
    return state != nullptr && state->tag == kLiveStateTag ? state : nullptr;
}

}  // namespace

HANDLE KeepTrustState(ImageVerdict verdict) {
    auto* state = new TrustState{kLiveStateTag, std::move(verdict)};
    DescribeProvider(*state);
    ++openStates;
    return state;
}

bool ReleaseTrustState(HANDLE handle) {
    TrustState* state = LiveState(handle);
    if (state == nullptr) {
        return false;
    }
    state->tag = 0;
    delete state;
    --openStates;
    return true;
}

std::size_t OpenTrustStateCount() {
    return openStates.load();
}

}  // namespace velto::platform::wintrust

extern "C" CRYPT_PROVIDER_DATA* WINAPI WTHelperProvDataFromStateData(HANDLE hStateData) {
    auto* state = velto::platform::wintrust::LiveState(hStateData);
    return state == nullptr ? nullptr : &state->provider;
}

// Counter-signers (timestamps) are not handed out.
extern "C" CRYPT_PROVIDER_SGNR* WINAPI WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner,
                                                                     BOOL fCounterSigner, DWORD) {
    if (pProvData == nullptr || fCounterSigner || idxSigner >= pProvData->csSigners) {
        return nullptr;
    }
    return &pProvData->pasSigners[idxSigner];
}
