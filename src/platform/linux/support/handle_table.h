// Kernel32 handles on Linux: small numbers that name a file descriptor, a
// child process or a loaded module, checked on every use as Windows checks
// its handles.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/linux/win_types.h"

namespace velto::platform {

enum class ObjectKind { File, Process, Thread, Module, Search };

// A started program, shared by its process and thread handles and released
// with the last of them (child_process.cpp).
struct ChildProcess;

// The entries a folder search found, and how far FindNextFileW has come
// (find_files.cpp).
struct FolderListing;

struct KernelObject {
    ObjectKind kind = ObjectKind::File;
    int fd = -1;        // File
    DWORD rights = 0;   // File: the data access it was opened for, as FILE_SHARE_* bits
    std::shared_ptr<ChildProcess> child;  // Process and Thread
    std::shared_ptr<FolderListing> listing;  // Search
};

// Registers object and returns its new handle.
HANDLE AddObject(const KernelObject& object);

// The object behind handle if it is of kind, else null with
// ERROR_INVALID_HANDLE as the last error. Valid until the handle is closed.
KernelObject* FindObject(HANDLE handle, ObjectKind kind);

// Unregisters a kernel handle: any kind but Module and Search, which
// CloseHandle does not close. False with ERROR_INVALID_HANDLE when handle is no such handle.
bool TakeObject(HANDLE handle, KernelObject& taken);

// Unregisters a module handle; false with ERROR_INVALID_HANDLE otherwise.
bool TakeModule(HANDLE handle);

// Unregisters a search handle; false with ERROR_INVALID_HANDLE otherwise.
bool TakeSearch(HANDLE handle);

// How many handles are open, so tests can see that none leaked.
std::size_t OpenHandleCount();

}  // namespace velto::platform
