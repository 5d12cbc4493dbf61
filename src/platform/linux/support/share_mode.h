// Windows share modes between the processes that use this layer.
#pragma once

#include "platform/linux/kernel32.h"
#include "platform/linux/win_types.h"

namespace velto::platform {

inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Registers an open of fd's file with data access rights and shareMode,
// both as FILE_SHARE_READ, FILE_SHARE_WRITE and FILE_SHARE_DELETE bits (for
// read, write and delete access), and keeps it registered until fd is
// closed. Fails with ERROR_SHARING_VIOLATION, registering nothing, where
// Windows refuses the open: another open's share mode lacks a right this
// one asks for, or this one's lacks a right another holds. An open without
// data access takes no part, as on Windows. fd must be open for reading.
bool JoinShareModes(int fd, DWORD rights, DWORD shareMode);

}  // namespace velto::platform
