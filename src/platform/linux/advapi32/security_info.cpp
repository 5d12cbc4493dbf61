// GetSecurityInfo: the owner and DACL of an open file. Linux
// keeps an owner and a mode rather than a descriptor, so the layer reads
// them as the descriptor they stand for:
//   - the running user, the elevated token's stand-in, owns as
//     Administrators; any other user as its Unix-user SID, S-1-22-1-<uid>;
//   - a file or folder of the running user that nobody else may enter
//     (no group or other bits) has the one protected DACL that the layer's
//     NtCreateFile accepts for it: all access for SYSTEM and
//     Administrators, read for Owner Rights, inherited by what a folder
//     holds;
//   - anything else grants its owner all access and, when group or others
//     have any bits, Everyone what those bits allow, and is not protected.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/advapi32.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/advapi32/security_descriptor_encoding.h"
#include "platform/linux/support/security_descriptor_format.h"

namespace {

namespace format = velto::platform::descriptor;
using velto::platform::Ace;
using velto::platform::Descriptor;

constexpr std::uint32_t kAllAccess = 0x001F01FF;
constexpr std::uint32_t kGenericRead = 0x00120089;
constexpr std::uint32_t kGenericWrite = 0x00120116;
constexpr std::uint32_t kGenericExecute = 0x001200A0;
constexpr std::uint8_t kFilesAndFolders = format::kObjectInherit | format::kContainerInherit;
constexpr std::size_t kUnixUserAt = 12;  // the uid, the last sub-authority of S-1-22-1-<uid>

const format::Principal kEveryone = {"WD", false, {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}, 12};  // S-1-1-0

constexpr const format::Principal& kSystem = format::kPrincipals[0];
constexpr const format::Principal& kAdministrators = format::kPrincipals[1];
constexpr const format::Principal& kOwnerRights = format::kPrincipals[2];
static_assert(kSystem.sddl == "SY" && kAdministrators.sddl == "BA" && kOwnerRights.sddl == "OW");

format::Principal UnixUser(uid_t uid) {
    format::Principal user = {"", true, {1, 2, 0, 0, 0, 0, 0, 22, 1, 0, 0, 0}, 16};
    for (std::size_t i = 0; i < 4; ++i) user.sid[kUnixUserAt + i] = static_cast<std::uint8_t>(uid >> (8 * i));
    return user;
}

std::uint32_t MaskOf(mode_t bits) {
    return ((bits & 4) != 0 ? kGenericRead : 0) | ((bits & 2) != 0 ? kGenericWrite : 0) |
           ((bits & 1) != 0 ? kGenericExecute : 0);
}

Descriptor DescriptorOf(const struct stat& info, const format::Principal& owner) {
    const bool own = info.st_uid == geteuid();
    const std::uint8_t inherit = S_ISDIR(info.st_mode) ? kFilesAndFolders : 0;
    Descriptor made;
    made.owner = &owner;
    made.hasDacl = true;
    if (own && (info.st_mode & 077) == 0) {
        made.daclControl = format::kDaclProtected;
        made.aces = {{inherit, kAllAccess, &kSystem}, {inherit, kAllAccess, &kAdministrators},
                     {inherit, kGenericRead, &kOwnerRights}};
        return made;
    }
    made.aces = {{inherit, kAllAccess, &owner}};
    const mode_t others = ((info.st_mode >> 3) | info.st_mode) & 7;
    if (others != 0) made.aces.push_back({inherit, MaskOf(others), &kEveryone});
    return made;
}

}  // namespace

extern "C" DWORD GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                                 PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                                 PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
    const velto::platform::KernelObject* file = velto::platform::FindObject(handle, velto::platform::ObjectKind::File);
    if (file == nullptr) return ERROR_INVALID_HANDLE;
    if (ObjectType != SE_FILE_OBJECT || ppSecurityDescriptor == nullptr || ppsidGroup != nullptr ||
        ppSacl != nullptr || (SecurityInfo & ~(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    struct stat info {};
    if (fstatat(file->fd, "", &info, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) return ERROR_ACCESS_DENIED;
    const format::Principal owner = info.st_uid == geteuid() ? kAdministrators : UnixUser(info.st_uid);
    Descriptor read = DescriptorOf(info, owner);
    if ((SecurityInfo & OWNER_SECURITY_INFORMATION) == 0) read.owner = nullptr;
    if ((SecurityInfo & DACL_SECURITY_INFORMATION) == 0) read = Descriptor{read.owner, false, 0, {}};
    if (!velto::platform::AllocateDescriptor(read, ppSecurityDescriptor, nullptr)) return GetLastError();
    BOOL ignored = FALSE;
    if (ppsidOwner != nullptr) GetSecurityDescriptorOwner(*ppSecurityDescriptor, ppsidOwner, &ignored);
    if (ppDacl != nullptr) GetSecurityDescriptorDacl(*ppSecurityDescriptor, &ignored, ppDacl, &ignored);
    return ERROR_SUCCESS;
}
