// The native file-creation call, as Windows' winternl.h declares it: the
// only documented way to create a folder and open it in one step.
#pragma once

#include "win_types.h"

#define NTAPI

#define OBJ_CASE_INSENSITIVE 0x00000040L
#define FILE_CREATE 0x00000002
#define FILE_DIRECTORY_FILE 0x00000001
#define FILE_SYNCHRONOUS_IO_NONALERT 0x00000020
#define FILE_OPEN_REPARSE_POINT 0x00200000
#define NT_SUCCESS(Status) ((static_cast<NTSTATUS>(Status)) >= 0)

// IO_STATUS_BLOCK.Information after a create.
#define FILE_CREATED 0x00000002

// The statuses the layer's NtCreateFile gives, with Windows' values.
#ifndef STATUS_SUCCESS
#define STATUS_SUCCESS static_cast<NTSTATUS>(0x00000000)
#endif
#ifndef STATUS_INVALID_PARAMETER
#define STATUS_INVALID_PARAMETER static_cast<NTSTATUS>(0xC000000D)
#endif
#ifndef STATUS_NO_MEMORY
#define STATUS_NO_MEMORY static_cast<NTSTATUS>(0xC0000017)
#endif
#ifndef STATUS_NOT_SUPPORTED
#define STATUS_NOT_SUPPORTED static_cast<NTSTATUS>(0xC00000BB)
#endif
#ifndef STATUS_UNSUCCESSFUL
#define STATUS_UNSUCCESSFUL static_cast<NTSTATUS>(0xC0000001)
#endif
#define STATUS_ACCESS_DENIED static_cast<NTSTATUS>(0xC0000022)
#define STATUS_OBJECT_NAME_INVALID static_cast<NTSTATUS>(0xC0000033)
#define STATUS_OBJECT_NAME_COLLISION static_cast<NTSTATUS>(0xC0000035)
#define STATUS_OBJECT_PATH_NOT_FOUND static_cast<NTSTATUS>(0xC000003A)
#define STATUS_SHARING_VIOLATION static_cast<NTSTATUS>(0xC0000043)
#define STATUS_INVALID_SECURITY_DESCR static_cast<NTSTATUS>(0xC0000079)
#define STATUS_DISK_FULL static_cast<NTSTATUS>(0xC000007F)
#define STATUS_MEDIA_WRITE_PROTECTED static_cast<NTSTATUS>(0xC00000A2)
#define STATUS_NAME_TOO_LONG static_cast<NTSTATUS>(0xC0000106)
#define STATUS_TOO_MANY_OPENED_FILES static_cast<NTSTATUS>(0xC000011F)

struct UNICODE_STRING {
    USHORT Length;         // in bytes, terminator not counted
    USHORT MaximumLength;  // in bytes
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;

struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;

struct IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;

extern "C" {
NTSTATUS WINAPI NtCreateFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes,
                             PIO_STATUS_BLOCK IoStatusBlock, PLARGE_INTEGER AllocationSize, ULONG FileAttributes,
                             ULONG ShareAccess, ULONG CreateDisposition, ULONG CreateOptions, PVOID EaBuffer,
                             ULONG EaLength);
}
