#include "platform/linux/support/error_mapping.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/linux/kernel32.h"

namespace velto::platform {
namespace {

struct ErrnoMapping {
    int errnum;
    DWORD code;
};

// errno values and the Windows codes that stand for the same condition.
// For a code listed more than once, its first row gives the errno whose C
// library text describes it.
constexpr ErrnoMapping kMappings[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOENT, ERROR_PATH_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EBUSY, ERROR_SHARING_VIOLATION},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
    {EEXIST, ERROR_FILE_EXISTS},
    {EEXIST, ERROR_ALREADY_EXISTS},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EILSEQ, ERROR_INVALID_NAME},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EBADF, ERROR_INVALID_HANDLE},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EROFS, ERROR_WRITE_PROTECT},
    {EIO, ERROR_IO_DEVICE},
    {EIO, ERROR_GEN_FAILURE},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ETIMEDOUT, ERROR_TIMEOUT},
    {ENOBUFS, ERROR_INSUFFICIENT_BUFFER},
    {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    {EINVAL, ERROR_INVALID_FLAGS},
    {ENOSYS, ERROR_INVALID_FUNCTION},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ESTALE, ERROR_FILE_INVALID},
    {ELIBACC, ERROR_MOD_NOT_FOUND},
    {ENOTDIR, ERROR_DIRECTORY},
    {EINVAL, ERROR_UNKNOWN_REVISION},
};

bool ParentFolderExists(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return true;
    struct stat info {};
    return stat(slash == 0 ? "/" : path.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

DWORD WinErrorFromErrno(int errnum) {
    for (const ErrnoMapping& mapping : kMappings) {
        if (mapping.errnum == errnum) return mapping.code;
    }
    return ERROR_GEN_FAILURE;
}

int ErrnoForWinError(DWORD code) {
    for (const ErrnoMapping& mapping : kMappings) {
        if (mapping.code == code) return mapping.errnum;
    }
    return 0;
}

void SetLastErrorFromErrno(int errnum) {
    SetLastError(WinErrorFromErrno(errnum));
}

void SetLastErrorForPath(int errnum, const std::string& path) {
    if (errnum == ENOENT && !ParentFolderExists(path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
        SetLastErrorFromErrno(errnum);
    }
}

}  // namespace velto::platform
