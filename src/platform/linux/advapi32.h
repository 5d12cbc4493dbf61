// Advapi32's security-descriptor text, as far as the staging folder needs
// it: a descriptor written in the Security Descriptor Definition Language.
#pragma once

#include "win_types.h"

#define SDDL_REVISION_1 1

extern "C" {
// The descriptor is allocated by the call and released with LocalFree.
BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                  DWORD StringSDRevision,
                                                                  PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                  PULONG SecurityDescriptorSize);
}
