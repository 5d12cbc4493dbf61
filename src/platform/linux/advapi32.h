// Advapi32's security descriptors, as far as the staging folder needs
// them: a descriptor written in the Security Descriptor Definition
// Language, and the owner and DACL of a file that is open.
#pragma once

#include "win_types.h"

#define SDDL_REVISION_1 1

#define OWNER_SECURITY_INFORMATION 0x00000001
#define DACL_SECURITY_INFORMATION 0x00000004
#define SE_DACL_PROTECTED 0x1000

enum SE_OBJECT_TYPE { SE_FILE_OBJECT = 1 };
using SECURITY_INFORMATION = DWORD;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
using PSECURITY_DESCRIPTOR_CONTROL = WORD*;

struct ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
};
using PACL = ACL*;

extern "C" {
// The descriptor is allocated by the call and released with LocalFree.
BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                  DWORD StringSDRevision,
                                                                  PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                  PULONG SecurityDescriptorSize);
// The descriptor is allocated by the call and released with LocalFree; the
// owner and DACL point into it.
DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                             PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                             PSECURITY_DESCRIPTOR* ppSecurityDescriptor);
BOOL WINAPI GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                       LPBOOL lpbOwnerDefaulted);
BOOL WINAPI GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent, PACL* pDacl,
                                      LPBOOL lpbDaclDefaulted);
BOOL WINAPI GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         PSECURITY_DESCRIPTOR_CONTROL pControl, LPDWORD lpdwRevision);
BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
}
