// Security descriptors in Windows' self-relative form, which the layer's
// descriptor text parser makes and its NtCreateFile reads: a header, then
// the owner's SID and the discretionary ACL at the offsets it names. All
// fields are little-endian, as on Windows (little_endian.h).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace velto::platform::descriptor {

constexpr std::uint8_t kRevision = 1;
constexpr std::uint8_t kAclRevision = 2;
constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint16_t kDaclAutoInherited = 0x0400;
constexpr std::uint16_t kDaclProtected = 0x1000;
constexpr std::uint16_t kSelfRelative = 0x8000;
constexpr std::uint8_t kAccessAllowedAce = 0;
constexpr std::uint8_t kAccessDeniedAce = 1;
constexpr std::uint8_t kObjectInherit = 0x01;
constexpr std::uint8_t kContainerInherit = 0x02;

// Header: revision, padding, control, then the offsets of owner, group,
// SACL and DACL (0 for none).
constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kControlAt = 2;
constexpr std::size_t kOwnerAt = 4;
constexpr std::size_t kDaclAt = 16;
// ACL: revision, padding, size, ACE count, padding. ACE: type, flags, size,
// access mask, SID.
constexpr std::size_t kAclHeaderSize = 8;
constexpr std::size_t kAceHeaderSize = 8;

// The principals the layer knows. On Linux every one of them stands for
// the one principal there is: the running user, the elevated token's
// stand-in.
struct Principal {
    std::string_view sddl;
    bool mayOwn;
    std::array<std::uint8_t, 16> sid;  // revision, count, authority (big-endian), sub-authorities
    std::size_t sidSize;
};

constexpr Principal kPrincipals[] = {
    {"SY", true, {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}, 12},                     // LocalSystem, S-1-5-18
    {"BA", true, {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0}, 16},  // Administrators, S-1-5-32-544
    {"OW", false, {1, 1, 0, 0, 0, 0, 0, 3, 4, 0, 0, 0}, 12},                     // Owner Rights, S-1-3-4
};

// The size of the SID at sid, from its sub-authority count.
inline std::size_t SidSize(const std::uint8_t* sid) {
    return 8 + 4 * std::size_t{sid[1]};
}

// The known principal whose SID is at sid, or null.
inline const Principal* FindPrincipal(const std::uint8_t* sid) {
    for (const Principal& principal : kPrincipals) {
        if (SidSize(sid) == principal.sidSize && std::memcmp(sid, principal.sid.data(), principal.sidSize) == 0) {
            return &principal;
        }
    }
    return nullptr;
}

}  // namespace velto::platform::descriptor
