// The layer's link between errno values and Windows error codes.
#pragma once

#include <string>

#include "platform/linux/win_types.h"

namespace velto::platform {

// The Windows code for an errno value; ERROR_GEN_FAILURE when none fits.
DWORD WinErrorFromErrno(int errnum);

// The errno whose C library text describes a Windows code that the layer
// produces, or 0 when the layer never produces that code.
int ErrnoForWinError(DWORD code);

// Sets the thread's last error from an errno value.
void SetLastErrorFromErrno(int errnum);

// The same for a failure of an operation on path, where a missing file is
// ERROR_FILE_NOT_FOUND and a missing folder on the way to it
// ERROR_PATH_NOT_FOUND, as Windows tells them apart.
void SetLastErrorForPath(int errnum, const std::string& path);

}  // namespace velto::platform
