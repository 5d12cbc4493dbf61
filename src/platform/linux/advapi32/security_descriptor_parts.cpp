// The parts of a self-relative security descriptor, the only form the
// layer makes, and the comparison of SIDs.
#include <cstring>

#include "platform/linux/advapi32.h"
#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/little_endian.h"
#include "platform/linux/support/security_descriptor_format.h"

namespace {

namespace format = velto::platform::descriptor;
using velto::platform::Fail;
using velto::platform::ReadLittle16;
using velto::platform::ReadLittle32;

// The self-relative descriptors the layer makes: revision 1, the flag set.
const std::uint8_t* SelfRelative(PSECURITY_DESCRIPTOR descriptor) {
    const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
    if (bytes == nullptr || bytes[0] != format::kRevision ||
        (ReadLittle16(bytes + format::kControlAt) & format::kSelfRelative) == 0) {
        return velto::platform::FailNull(ERROR_INVALID_SECURITY_DESCR);
    }
    return bytes;
}

}  // namespace

extern "C" BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                           LPBOOL lpbOwnerDefaulted) {
    const std::uint8_t* bytes = SelfRelative(pSecurityDescriptor);
    if (bytes == nullptr) return FALSE;
    if (pOwner == nullptr || lpbOwnerDefaulted == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const std::uint32_t ownerAt = ReadLittle32(bytes + format::kOwnerAt);
    *pOwner = ownerAt != 0 ? const_cast<std::uint8_t*>(bytes + ownerAt) : nullptr;
    *lpbOwnerDefaulted = FALSE;
    return TRUE;
}

extern "C" BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent,
                                          PACL* pDacl, LPBOOL lpbDaclDefaulted) {
    const std::uint8_t* bytes = SelfRelative(pSecurityDescriptor);
    if (bytes == nullptr) return FALSE;
    if (lpbDaclPresent == nullptr || pDacl == nullptr || lpbDaclDefaulted == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const std::uint32_t daclAt = ReadLittle32(bytes + format::kDaclAt);
    *lpbDaclPresent = (ReadLittle16(bytes + format::kControlAt) & format::kDaclPresent) != 0;
    *pDacl = *lpbDaclPresent && daclAt != 0 ? reinterpret_cast<PACL>(const_cast<std::uint8_t*>(bytes + daclAt))
                                             : nullptr;
    *lpbDaclDefaulted = FALSE;
    return TRUE;
}

extern "C" BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                             PSECURITY_DESCRIPTOR_CONTROL pControl, LPDWORD lpdwRevision) {
    const std::uint8_t* bytes = SelfRelative(pSecurityDescriptor);
    if (bytes == nullptr) return FALSE;
    if (pControl == nullptr || lpdwRevision == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    *pControl = ReadLittle16(bytes + format::kControlAt);
    *lpdwRevision = bytes[0];
    return TRUE;
}

// Both SIDs must be well formed; equal when their bytes are.
extern "C" BOOL EqualSid(PSID pSid1, PSID pSid2) {
    const auto* left = static_cast<const std::uint8_t*>(pSid1);
    const auto* right = static_cast<const std::uint8_t*>(pSid2);
    if (left == nullptr || right == nullptr || left[0] != 1 || right[0] != 1) return Fail(ERROR_INVALID_SID);
    SetLastError(ERROR_SUCCESS);
    return format::SidSize(left) == format::SidSize(right) &&
           std::memcmp(left, right, format::SidSize(left)) == 0;
}
