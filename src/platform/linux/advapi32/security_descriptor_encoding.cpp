#include "platform/linux/advapi32/security_descriptor_encoding.h"

#include <cstdlib>
#include <cstring>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/little_endian.h"

namespace velto::platform {
namespace {

namespace format = descriptor;

std::size_t DaclSize(const Descriptor& descriptor) {
    if (!descriptor.hasDacl) return 0;
    std::size_t size = format::kAclHeaderSize;
    for (const Ace& ace : descriptor.aces) size += format::kAceHeaderSize + ace.principal->sidSize;
    return size;
}

void WriteSid(std::uint8_t* at, const format::Principal& principal) {
    std::memcpy(at, principal.sid.data(), principal.sidSize);
}

// Writes the descriptor in self-relative form: header, owner, DACL.
void Encode(const Descriptor& descriptor, std::uint8_t* out) {
    const std::size_t ownerSize = descriptor.owner != nullptr ? descriptor.owner->sidSize : 0;
    const std::size_t daclAt = format::kHeaderSize + ownerSize;
    std::uint16_t control = format::kSelfRelative | descriptor.daclControl;
    out[0] = format::kRevision;
    if (descriptor.owner != nullptr) {
        WriteLittle32(out + format::kOwnerAt, format::kHeaderSize);
        WriteSid(out + format::kHeaderSize, *descriptor.owner);
    }
    if (descriptor.hasDacl) {
        control |= format::kDaclPresent;
        WriteLittle32(out + format::kDaclAt, static_cast<std::uint32_t>(daclAt));
        std::uint8_t* acl = out + daclAt;
        acl[0] = format::kAclRevision;
        WriteLittle16(acl + 2, static_cast<std::uint16_t>(DaclSize(descriptor)));
        WriteLittle16(acl + 4, static_cast<std::uint16_t>(descriptor.aces.size()));
        std::uint8_t* entry = acl + format::kAclHeaderSize;
        for (const Ace& ace : descriptor.aces) {
            const std::size_t size = format::kAceHeaderSize + ace.principal->sidSize;
            entry[0] = format::kAccessAllowedAce;
            entry[1] = ace.flags;
            WriteLittle16(entry + 2, static_cast<std::uint16_t>(size));
            WriteLittle32(entry + 4, ace.mask);
            WriteSid(entry + format::kAceHeaderSize, *ace.principal);
            entry += size;
        }
    }
    WriteLittle16(out + format::kControlAt, control);
}

}  // namespace

BOOL AllocateDescriptor(const Descriptor& descriptor, PSECURITY_DESCRIPTOR* out, PULONG size) {
    const std::size_t daclSize = DaclSize(descriptor);
    if (daclSize > 0xFFFF) return Fail(ERROR_INVALID_PARAMETER);  // an ACL's size has 16 bits
    const std::size_t total =
        format::kHeaderSize + (descriptor.owner != nullptr ? descriptor.owner->sidSize : 0) + daclSize;
    // Zeroed, so that every offset and padding field not written is 0.
    auto* bytes = static_cast<std::uint8_t*>(std::calloc(total, 1));
    if (bytes == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    Encode(descriptor, bytes);
    *out = bytes;
    if (size != nullptr) *size = static_cast<ULONG>(total);
    return TRUE;
}

}  // namespace velto::platform
