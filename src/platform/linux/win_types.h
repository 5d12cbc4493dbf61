// Base types of the Windows API as the bootstrapper uses them, for builds
// that are not Windows. Sizes follow 64-bit Windows (LLP64): DWORD and LONG
// are 32 bits, pointers and *_PTR types 64 bits. Wide text is UTF-16 code
// units stored one per wchar_t element, so a code point above U+FFFF takes
// two elements here too.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONGLONG = std::uint64_t;
using BOOLEAN = BYTE;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using DWORD_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using SIZE_T = std::size_t;
using WCHAR = wchar_t;
using CHAR = char;
using PBYTE = BYTE*;
using LPBYTE = BYTE*;
using PUCHAR = unsigned char*;
using LPDWORD = DWORD*;
using PULONG = ULONG*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCCH = const char*;
using LPWSTR = wchar_t*;
using PWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using PCWSTR = const wchar_t*;
using LPCWCH = const wchar_t*;
using LPWCH = wchar_t*;
using LONG_PTR = std::intptr_t;
using NTSTATUS = LONG;
using HRESULT = LONG;

using HANDLE = void*;
using HWND = struct HWND__*;
using HINSTANCE = struct HINSTANCE__*;
using HLOCAL = void*;
using HMODULE = struct HINSTANCE__*;
using ACCESS_MASK = DWORD;
using PSECURITY_DESCRIPTOR = void*;
using PSID = void*;
using LPBOOL = BOOL*;
using USHORT = std::uint16_t;
using PHANDLE = HANDLE*;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

union LARGE_INTEGER {
    long long QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;
