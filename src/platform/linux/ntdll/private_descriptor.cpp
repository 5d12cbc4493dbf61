#include "platform/linux/ntdll/private_descriptor.h"

#include "platform/linux/ntdll.h"
#include "platform/linux/support/little_endian.h"
#include "platform/linux/support/security_descriptor_format.h"

namespace velto::platform {
namespace {

namespace format = descriptor;

constexpr std::uint8_t kSidRevision = 1;
constexpr std::uint8_t kMostSubAuthorities = 15;
constexpr std::uint8_t kAclRevisionDs = 4;
// An owner's room is unknown: only its own fields can be checked.
constexpr std::size_t kLargestSid = 8 + 4 * kMostSubAuthorities;

bool IsWellFormedSid(const std::uint8_t* sid, std::size_t room) {
    return room >= 8 && sid[0] == kSidRevision && sid[1] <= kMostSubAuthorities && format::SidSize(sid) <= room;
}

// Walks the entries of the ACL at acl: allow entries must name known
// principals; deny entries take nothing away from privacy.
NTSTATUS CheckAcl(const std::uint8_t* acl) {
    if (acl[0] != format::kAclRevision && acl[0] != kAclRevisionDs) return STATUS_INVALID_SECURITY_DESCR;
    const std::size_t aclSize = ReadLittle16(acl + 2);
    const std::size_t count = ReadLittle16(acl + 4);
    std::size_t at = format::kAclHeaderSize;
    for (std::size_t i = 0; i < count; ++i) {
        if (aclSize < at + format::kAceHeaderSize) return STATUS_INVALID_SECURITY_DESCR;
        const std::uint8_t* ace = acl + at;
        const std::size_t size = ReadLittle16(ace + 2);
        if (size < format::kAceHeaderSize || size > aclSize - at || size % 4 != 0 ||
            !IsWellFormedSid(ace + format::kAceHeaderSize, size - format::kAceHeaderSize)) {
            return STATUS_INVALID_SECURITY_DESCR;
        }
        if (ace[0] == format::kAccessAllowedAce) {
            if (format::FindPrincipal(ace + format::kAceHeaderSize) == nullptr) return STATUS_NOT_SUPPORTED;
        } else if (ace[0] != format::kAccessDeniedAce) {
            return STATUS_NOT_SUPPORTED;
        }
        at += size;
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS CheckPrivateDescriptor(const void* descriptor) {
    const auto* bytes = static_cast<const std::uint8_t*>(descriptor);
    if (bytes[0] != format::kRevision) return STATUS_INVALID_SECURITY_DESCR;
    const std::uint16_t control = ReadLittle16(bytes + format::kControlAt);
    // The absolute form holds pointers; the layer reads only the
    // self-relative one.
    if ((control & format::kSelfRelative) == 0) return STATUS_NOT_SUPPORTED;
    const std::uint32_t ownerAt = ReadLittle32(bytes + format::kOwnerAt);
    const std::uint32_t daclAt = ReadLittle32(bytes + format::kDaclAt);
    if (ownerAt != 0) {
        if (!IsWellFormedSid(bytes + ownerAt, kLargestSid)) return STATUS_INVALID_SECURITY_DESCR;
        const format::Principal* owner = format::FindPrincipal(bytes + ownerAt);
        if (owner == nullptr || !owner->mayOwn) return STATUS_NOT_SUPPORTED;
    }
    // Without a DACL, or with a null one, everyone may enter.
    if ((control & format::kDaclPresent) == 0 || daclAt == 0) return STATUS_NOT_SUPPORTED;
    return CheckAcl(bytes + daclAt);
}

}  // namespace velto::platform
