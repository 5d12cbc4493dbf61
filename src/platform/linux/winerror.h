// Windows error codes and status values that the Linux layer produces or the
// bootstrapper tests for, with the values Windows gives them.
#pragma once

#include "win_types.h"

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_BAD_EXE_FORMAT 193L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_DIRECTORY 267L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_FILE_INVALID 1006L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_IO_DEVICE 1117L
#define ERROR_UNKNOWN_REVISION 1305L
#define ERROR_TIMEOUT 1460L
#define ERROR_CANT_RESOLVE_FILENAME 1921L

// Authenticode and certificate statuses (HRESULTs, negative as LONG).
#define TRUST_E_NOSIGNATURE static_cast<LONG>(0x800B0100)
#define TRUST_E_SUBJECT_FORM_UNKNOWN static_cast<LONG>(0x800B0003)
#define TRUST_E_PROVIDER_UNKNOWN static_cast<LONG>(0x800B0001)
#define TRUST_E_BAD_DIGEST static_cast<LONG>(0x80096010)
#define TRUST_E_CERT_SIGNATURE static_cast<LONG>(0x80096004)
#define TRUST_E_NO_SIGNER_CERT static_cast<LONG>(0x80096002)
#define TRUST_E_FAIL static_cast<LONG>(0x800B010B)
#define TRUST_E_EXPLICIT_DISTRUST static_cast<LONG>(0x800B0111)
#define TRUST_E_BASIC_CONSTRAINTS static_cast<LONG>(0x80096019)
#define CERT_E_EXPIRED static_cast<LONG>(0x800B0101)
#define CERT_E_CRITICAL static_cast<LONG>(0x800B0105)
#define CERT_E_MALFORMED static_cast<LONG>(0x800B0108)
#define CERT_E_UNTRUSTEDROOT static_cast<LONG>(0x800B0109)
#define CERT_E_CHAINING static_cast<LONG>(0x800B010A)
#define CERT_E_WRONG_USAGE static_cast<LONG>(0x800B0110)
#define CRYPT_E_NO_MATCH static_cast<LONG>(0x80092009)
#define CRYPT_E_NOT_FOUND static_cast<LONG>(0x80092004)
#define CRYPT_E_BAD_ENCODE static_cast<LONG>(0x80092002)
#define CRYPT_E_ASN1_BADTAG static_cast<LONG>(0x8009310B)
#define CRYPT_E_HASH_VALUE static_cast<LONG>(0x80091007)
#define CRYPT_E_SIGNER_NOT_FOUND static_cast<LONG>(0x8009100E)
#define NTE_BAD_SIGNATURE static_cast<LONG>(0x80090006)
#define NTE_BAD_ALGID static_cast<LONG>(0x80090008)
#define E_INVALIDARG static_cast<LONG>(0x80070057)
#define E_OUTOFMEMORY static_cast<LONG>(0x8007000E)

// CryptoAPI: a size query whose buffer is too small, a signer index past the last signer.
#define ERROR_MORE_DATA 234L
#define CRYPT_E_INVALID_INDEX static_cast<LONG>(0x80091008)
