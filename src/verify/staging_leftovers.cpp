// Anyone may make a folder with a staging folder's name in Windows'
// temporary folder, so the name alone proves nothing. The owner and the
// descriptor do: in the token of a process without elevation,
// Administrators is a deny-only group, which can be neither the owner it
// assigns nor a group whose entries let it write, so no such process can
// make a folder owned by Administrators with a protected descriptor that
// lets only SYSTEM and Administrators change it. Only an elevated run of
// this program makes those.
//
// A candidate is opened without following a link and asked for DELETE
// access: a live run holds its folder without delete sharing, so the open
// fails with a sharing violation and the folder is skipped. Once it is
// proved to be this program's, only elevated code can change it.
#include "verify/staging_leftovers.h"

#include <cstring>

#include "base/scoped_owner.h"
#include "verify/staging_location.h"
#include "verify/staging_removal.h"

namespace {

// Windows' temporary folder is shared by every user; a user who fills it
// with folders that have staging names costs a run no more than this many
// opens.
constexpr int kMostCandidates = 64;
constexpr DWORD kCandidateAccess = DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr DWORD kCandidateFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

struct OwnerAndDacl {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    bool protectedDacl = false;
};

bool ReadOwnerAndDacl(PSECURITY_DESCRIPTOR descriptor, OwnerAndDacl& parts) {
    BOOL ownerDefaulted = FALSE;
    BOOL daclPresent = FALSE;
    BOOL daclDefaulted = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorOwner(descriptor, &parts.owner, &ownerDefaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &daclPresent, &parts.dacl, &daclDefaulted) ||
        !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        return false;
    }
    parts.protectedDacl = (control & SE_DACL_PROTECTED) != 0;
    return daclPresent && parts.owner != nullptr && parts.dacl != nullptr;
}

// The entries follow the ACL's header, each carrying its own size: equal
// counts and equal bytes are equal entries in the same order.
bool SameEntries(const ACL& found, const ACL& expected) {
    return found.AceCount == expected.AceCount && found.AclSize >= expected.AclSize &&
           std::memcmp(&found + 1, &expected + 1, expected.AclSize - sizeof(ACL)) == 0;
}

bool HasExactly(HANDLE folder, const OwnerAndDacl& expected) {
    PSECURITY_DESCRIPTOR read = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                        nullptr, nullptr, nullptr, &read) != ERROR_SUCCESS) {
        return false;
    }
    const ScopedLocalMemory readMemory(read);
    OwnerAndDacl found;
    return ReadOwnerAndDacl(read, found) && found.protectedDacl && EqualSid(found.owner, expected.owner) &&
           SameEntries(*found.dacl, *expected.dacl);
}

// Asking for DELETE is what tells a live run's folder: its hold does not
// share deleting. The open is let go before the folder is removed, since
// listing the folder need not share deleting either.
bool IsLeftover(const std::wstring& path, const OwnerAndDacl& expected) {
    const ScopedFileHandle folder(CreateFileW(path.c_str(), kCandidateAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, kCandidateFlags, nullptr));
    return folder && IsRealFolder(folder.get()) && HasExactly(folder.get(), expected);
}

}  // namespace

void RemoveStagingLeftovers(const std::wstring& tempFolder, PSECURITY_DESCRIPTOR protectedDescriptor) {
    OwnerAndDacl expected;
    if (!ReadOwnerAndDacl(protectedDescriptor, expected)) return;
    WIN32_FIND_DATAW found = {};
    const ScopedSearchHandle search(FindFirstFileW((tempFolder + kStagingFolderPattern).c_str(), &found));
    if (!search) return;
    int candidates = 0;
    do {
        if (!IsStagingFolderName(found.cFileName)) continue;
        if (++candidates > kMostCandidates) return;
        const std::wstring path = tempFolder + found.cFileName;
        if (IsLeftover(path, expected)) RemovePath(path);
    } while (FindNextFileW(search.get(), &found));
}
