// The thread's last error, as Windows keeps it per thread.
#include "platform/linux/kernel32.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" DWORD GetLastError() {
    return lastError;
}

extern "C" void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}
