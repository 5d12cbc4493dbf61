#include "app/redirection_guard.h"

#include "platform/win_api.h"

namespace {

// The first of the policy's bit fields, EnforceRedirectionTrust.
constexpr DWORD kEnforceRedirectionTrust = 0x1;

}  // namespace

void TurnOnRedirectionGuard() {
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy = {};
    policy.Flags = kEnforceRedirectionTrust;
    // Refused before Windows 11 22H2 and under Wine's older versions:
    // nothing to do about it.
    SetProcessMitigationPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof(policy));
}
