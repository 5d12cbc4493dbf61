// BCrypt's hash interface, as far as the installer digest needs it, and
// the system's random numbers, which name the staging folder.
#pragma once

#include "win_types.h"

using BCRYPT_HANDLE = PVOID;
using BCRYPT_ALG_HANDLE = PVOID;
using BCRYPT_HASH_HANDLE = PVOID;

#define BCRYPT_SHA256_ALGORITHM L"SHA256"
#define BCRYPT_OBJECT_LENGTH L"ObjectLength"
#define BCRYPT_HASH_LENGTH L"HashDigestLength"
#define BCRYPT_USE_SYSTEM_PREFERRED_RNG 0x00000002

#define STATUS_SUCCESS static_cast<NTSTATUS>(0x00000000)
#ifndef STATUS_UNSUCCESSFUL
#define STATUS_UNSUCCESSFUL static_cast<NTSTATUS>(0xC0000001)
#endif
#define STATUS_INVALID_HANDLE static_cast<NTSTATUS>(0xC0000008)
#define STATUS_INVALID_PARAMETER static_cast<NTSTATUS>(0xC000000D)
#define STATUS_NO_MEMORY static_cast<NTSTATUS>(0xC0000017)
#define STATUS_BUFFER_TOO_SMALL static_cast<NTSTATUS>(0xC0000023)
#define STATUS_NOT_SUPPORTED static_cast<NTSTATUS>(0xC00000BB)
#define STATUS_INVALID_BUFFER_SIZE static_cast<NTSTATUS>(0xC0000206)
#define STATUS_NOT_FOUND static_cast<NTSTATUS>(0xC0000225)

extern "C" {
NTSTATUS WINAPI BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* phAlgorithm, LPCWSTR pszAlgId,
                                            LPCWSTR pszImplementation, ULONG dwFlags);
NTSTATUS WINAPI BCryptGetProperty(BCRYPT_HANDLE hObject, LPCWSTR pszProperty, PUCHAR pbOutput, ULONG cbOutput,
                                  ULONG* pcbResult, ULONG dwFlags);
NTSTATUS WINAPI BCryptCreateHash(BCRYPT_ALG_HANDLE hAlgorithm, BCRYPT_HASH_HANDLE* phHash, PUCHAR pbHashObject,
                                 ULONG cbHashObject, PUCHAR pbSecret, ULONG cbSecret, ULONG dwFlags);
NTSTATUS WINAPI BCryptHashData(BCRYPT_HASH_HANDLE hHash, PUCHAR pbInput, ULONG cbInput, ULONG dwFlags);
NTSTATUS WINAPI BCryptFinishHash(BCRYPT_HASH_HANDLE hHash, PUCHAR pbOutput, ULONG cbOutput, ULONG dwFlags);
NTSTATUS WINAPI BCryptDestroyHash(BCRYPT_HASH_HANDLE hHash);
NTSTATUS WINAPI BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE hAlgorithm, ULONG dwFlags);
NTSTATUS WINAPI BCryptGenRandom(BCRYPT_ALG_HANDLE hAlgorithm, PUCHAR pbBuffer, ULONG cbBuffer, ULONG dwFlags);
}
