// Folder entries by name: deleting files, making and removing folders,
// renaming. Deleting and renaming respect the share modes of this layer's
// users as Windows does. A folder held open cannot stop anyone else from
// renaming or removing it: Linux has no such lock.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/linux/api_failure.h"
#include "platform/linux/error_mapping.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/share_mode.h"
#include "platform/linux/text_conversion.h"

using velto::platform::SetLastErrorForPath;

namespace {

using velto::platform::Fail;

constexpr mode_t kNewFolderMode = 0700;

// The path of a folder entry itself: a trailing separator would make the
// system resolve a link that stands at the name.
bool EntryPath(LPCWSTR widePath, std::string& path) {
    if (!velto::platform::WidePathToUtf8(widePath, path)) return false;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return true;
}

// Deleting or renaming takes delete access, which Windows refuses while an
// open of the entry does not share it. change runs while that access is
// held; an entry that cannot be opened for the check (a link, a file
// without read permission) has no opens by this layer to respect.
template <typename Change>
BOOL WithDeleteAccess(const std::string& path, Change change) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && !velto::platform::JoinShareModes(fd, FILE_SHARE_DELETE, velto::platform::kShareAll)) {
        close(fd);
        return FALSE;
    }
    const bool changed = change();
    if (fd >= 0) close(fd);
    return changed ? TRUE : FALSE;
}

bool RemoveFolderOrLink(const std::string& path) {
    if (rmdir(path.c_str()) == 0) return true;
    int errnum = errno;
    struct stat info {};
    if (errnum == ENOTDIR && lstat(path.c_str(), &info) == 0) {
        // A link is removed itself, as Windows removes a junction.
        if (S_ISLNK(info.st_mode) && unlink(path.c_str()) == 0) return true;
        if (!S_ISLNK(info.st_mode)) return Fail(ERROR_DIRECTORY);
        errnum = errno;
    }
    if (errnum == ENOTEMPTY || errnum == EEXIST) {
        SetLastError(ERROR_DIR_NOT_EMPTY);
    } else {
        SetLastErrorForPath(errnum, path);
    }
    return false;
}

bool RenameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    const int errnum = errno;
    struct stat info {};
    if (errnum == EEXIST) {
        SetLastError(ERROR_ALREADY_EXISTS);
    } else if (errnum == ENOENT && lstat(from.c_str(), &info) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);  // the target's folder is missing
    } else {
        SetLastErrorForPath(errnum, from);
    }
    return false;
}

}  // namespace

extern "C" BOOL DeleteFileW(LPCWSTR lpFileName) {
    std::string path;
    if (!velto::platform::WidePathToUtf8(lpFileName, path)) return FALSE;
    return WithDeleteAccess(path, [&path] {
        if (unlink(path.c_str()) == 0) return true;
        SetLastErrorForPath(errno == EISDIR ? EACCES : errno, path);
        return false;
    });
}

// Removes an empty folder, or a link that stands at the name (never what
// it points to).
extern "C" BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
    std::string path;
    if (!EntryPath(lpPathName, path)) return FALSE;
    return WithDeleteAccess(path, [&path] { return RemoveFolderOrLink(path); });
}

// Renames the entry itself (a link, not what it points to), never over an
// existing one: the layer supports only a rename without
// MOVEFILE_REPLACE_EXISTING or any other flag.
extern "C" BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    if (dwFlags != 0) return Fail(ERROR_INVALID_PARAMETER);
    std::string from;
    std::string to;
    if (!EntryPath(lpExistingFileName, from) || !EntryPath(lpNewFileName, to)) return FALSE;
    return WithDeleteAccess(from, [&from, &to] { return RenameWithoutReplacing(from, to); });
}

extern "C" BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (lpSecurityAttributes != nullptr) return Fail(ERROR_NOT_SUPPORTED);
    std::string path;
    if (!velto::platform::WidePathToUtf8(lpPathName, path)) return FALSE;
    if (mkdir(path.c_str(), kNewFolderMode) != 0) {
        if (errno == EEXIST) {
            SetLastError(ERROR_ALREADY_EXISTS);
        } else if (errno == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            velto::platform::SetLastErrorFromErrno(errno);
        }
        return FALSE;
    }
    return TRUE;
}
