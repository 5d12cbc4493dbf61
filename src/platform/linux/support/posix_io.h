// Whole-buffer reads and writes on a descriptor. A signal may interrupt a
// call and a call may move fewer bytes than asked; both loops carry on
// until the buffer is done, so no caller handles either case itself.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace velto::platform {

// Reads until count bytes are in or the file ends; done is how many arrived.
// False, with errno set, when a read fails.
bool ReadFully(int fd, void* buffer, std::size_t count, std::size_t& done);

// The same at offset, leaving the descriptor's position alone.
bool ReadFullyAt(int fd, void* buffer, std::size_t count, off_t offset, std::size_t& done);

// Writes all count bytes; done is how many were written. False, with errno
// set, when a write fails; ENOSPC when the file takes no more.
bool WriteFully(int fd, const void* buffer, std::size_t count, std::size_t& done);

}  // namespace velto::platform
