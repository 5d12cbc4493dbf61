// Which file an open handle names, independent of the path it was opened
// by: the volume and the file's 128-bit ID on it, which a mounted image
// cannot imitate as easily as the 32-bit serial number and 64-bit index
// that older queries report.
#pragma once

#include <array>
#include <cstdint>

#include "platform/win_api.h"

struct FileIdentity {
    ULONGLONG volumeSerialNumber = 0;
    std::array<std::uint8_t, 16> fileId = {};
};

// False with the last error set when the handle's file cannot be queried.
bool ReadFileIdentity(HANDLE file, FileIdentity& identity);

bool IsSameFile(const FileIdentity& left, const FileIdentity& right);
