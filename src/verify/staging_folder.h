// The staging folder: made afresh on every run, writable only by SYSTEM
// and Administrators, and held open so that it cannot be renamed, removed
// or replaced while the installer in it is checked and started.
#pragma once

#include <string>

#include "platform/win_api.h"

// Makes the folder at folderPath, first taking away whatever stands at
// that name, and returns it held open; INVALID_HANDLE_VALUE when it cannot
// be made safe. The caller closes the handle.
HANDLE CreateStagingFolder(const std::wstring& folderPath);
