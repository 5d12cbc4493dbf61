// Kernel32 handles on Linux: small numbers that name a file descriptor or
// a child process, checked on every use as Windows checks its handles.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "platform/linux/win_types.h"

namespace velto::platform {

enum class ObjectKind { File, Process, Thread };

struct KernelObject {
    ObjectKind kind = ObjectKind::File;
    int fd = -1;         // File
    pid_t pid = -1;      // Process and Thread
    bool ended = false;  // Process: reaped, exitCode valid
    DWORD exitCode = 0;
};

// Registers object and returns its new handle.
HANDLE AddObject(const KernelObject& object);

// The object behind handle if it is of kind, else null with
// ERROR_INVALID_HANDLE as the last error. Valid until the handle is closed.
KernelObject* FindObject(HANDLE handle, ObjectKind kind);

// Unregisters handle; false with ERROR_INVALID_HANDLE when it is not open.
bool TakeObject(HANDLE handle, KernelObject& taken);

// How many handles are open, so tests can see that none leaked.
std::size_t OpenHandleCount();

}  // namespace velto::platform
