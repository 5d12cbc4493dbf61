// SetProcessMitigationPolicy: Windows' redirection guard keeps a process
// from following junctions and links that unelevated users made. Linux has
// no such guard to turn on, and the layer says so rather than pretend.
#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"

extern "C" BOOL SetProcessMitigationPolicy(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T) {
    return velto::platform::Fail(ERROR_NOT_SUPPORTED);
}
