// The layer's link between errno values and Windows error codes.
#pragma once

#include "win_types.h"

namespace velto::platform {

// The Windows code for an errno value; ERROR_GEN_FAILURE when none fits.
DWORD WinErrorFromErrno(int errnum);

// The errno whose C library text describes a Windows code that the layer
// produces, or 0 when the layer never produces that code.
int ErrnoForWinError(DWORD code);

// Sets the thread's last error from an errno value.
void SetLastErrorFromErrno(int errnum);

}  // namespace velto::platform
