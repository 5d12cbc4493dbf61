// GetCurrentProcessId: the process's own id.
#include <unistd.h>

#include "platform/linux/kernel32.h"

extern "C" DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}
