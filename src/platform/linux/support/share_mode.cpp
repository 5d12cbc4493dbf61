// Share modes as open-file-description locks. Every open that takes part
// holds read locks on two groups of three bytes far past any file's data:
// in the first, the bytes of the rights it was opened with; in the second,
// the bytes of the rights its share mode refuses to others. An open
// conflicts when another open description holds a lock on the refusal byte
// of a right it asks for, or on the access byte of a right it refuses.
//
// The locks are advisory: they bind only the processes that use this layer.
// They go with the open file description, so closing the handle, or the
// end of the process, releases them.
#include "platform/linux/support/share_mode.h"

#include <fcntl.h>

#include <cerrno>
#include <limits>

#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32.h"

namespace velto::platform {
namespace {

constexpr DWORD kRights[] = {FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_DELETE};
constexpr off_t kRightCount = 3;
constexpr off_t kAccessBytes = std::numeric_limits<off_t>::max() - 2 * kRightCount;
constexpr off_t kRefusalBytes = kAccessBytes + kRightCount;

bool SetLock(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Whether another open file description holds a lock on byte; sets failed
// when that cannot be told.
bool LockedByOthers(int fd, off_t byte, bool& failed) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) failed = true;
    return lock.l_type != F_UNLCK;
}

bool Register(int fd, DWORD rights, DWORD shareMode) {
    for (off_t i = 0; i < kRightCount; ++i) {
        if ((rights & kRights[i]) != 0 && !SetLock(fd, F_RDLCK, kAccessBytes + i, 1)) return false;
        if ((shareMode & kRights[i]) == 0 && !SetLock(fd, F_RDLCK, kRefusalBytes + i, 1)) return false;
    }
    return true;
}

bool Conflicts(int fd, DWORD rights, DWORD shareMode, bool& failed) {
    for (off_t i = 0; i < kRightCount; ++i) {
        if ((rights & kRights[i]) != 0 && LockedByOthers(fd, kRefusalBytes + i, failed)) return true;
        if ((shareMode & kRights[i]) == 0 && LockedByOthers(fd, kAccessBytes + i, failed)) return true;
    }
    return failed;
}

}  // namespace

bool JoinShareModes(int fd, DWORD rights, DWORD shareMode) {
    if (rights == 0) return true;
    // Registered before the check: of two opens that race, the one that
    // checks last sees the other (both may fail, neither slips through).
    bool failed = !Register(fd, rights, shareMode);
    if (!failed && !Conflicts(fd, rights, shareMode, failed)) return true;
    const int errnum = errno;
    SetLock(fd, F_UNLCK, kAccessBytes, 2 * kRightCount);
    if (failed) {
        SetLastErrorFromErrno(errnum);
    } else {
        SetLastError(ERROR_SHARING_VIOLATION);
    }
    return false;
}

}  // namespace velto::platform
