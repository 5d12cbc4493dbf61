// Which file an open handle names, independent of the path it was opened
// by: the volume and the file's index on it.
#pragma once

#include "platform/win_api.h"

struct FileIdentity {
    DWORD volumeSerialNumber = 0;
    DWORD fileIndexHigh = 0;
    DWORD fileIndexLow = 0;
};

// False with the last error set when the handle's file cannot be queried.
bool ReadFileIdentity(HANDLE file, FileIdentity& identity);

bool IsSameFile(const FileIdentity& left, const FileIdentity& right);
