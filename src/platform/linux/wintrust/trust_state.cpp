#include "platform/linux/wintrust/trust_state.h"

#include <atomic>
#include <cstdint>

namespace velto::platform::wintrust {

namespace {

// Marks a live state, so a stale or foreign handle is refused rather than freed.
constexpr std::uint32_t kLiveStateTag = 0x54525354;  // "TRST"

struct TrustState {
    std::uint32_t tag = kLiveStateTag;
    ImageVerdict verdict;
};

std::atomic<std::size_t> openStates{0};

}  // namespace

HANDLE KeepTrustState(ImageVerdict verdict) {
    auto* state = new TrustState{kLiveStateTag, std::move(verdict)};
    ++openStates;
    return state;
}

bool ReleaseTrustState(HANDLE handle) {
    auto* state = static_cast<TrustState*>(handle);
    if (state == nullptr || state->tag != kLiveStateTag) {
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
