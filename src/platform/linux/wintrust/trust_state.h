// The state a WinVerifyTrust verify call hands out in hWVTStateData, which
// the provider helpers read (WTHelperProvDataFromStateData,
// WTHelperGetProvSignerFromChain) and the closing call takes back.
#pragma once

#include <cstddef>

#include "platform/linux/win_types.h"
#include "platform/linux/wintrust/image_verdict.h"

namespace velto::platform::wintrust {

HANDLE KeepTrustState(ImageVerdict verdict);

// Releases a state from KeepTrustState; false for a handle it never gave.
bool ReleaseTrustState(HANDLE state);

// How many states are handed out and not yet closed, so tests can see that
// a closing call releases what the verify call kept.
std::size_t OpenTrustStateCount();

}  // namespace velto::platform::wintrust
