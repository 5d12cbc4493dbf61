// File handles: opening, reading, writing and examining files. Paths are
// Windows paths made usable here (UTF-8, with slashes). A symbolic link is
// never followed at the last component. Share modes are Windows' own
// between the processes that use this layer (share_mode.cpp); other
// programs do not see them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/posix_io.h"
#include "platform/linux/support/share_mode.h"
#include "platform/linux/support/text_conversion.h"

using velto::platform::KernelObject;
using velto::platform::Fail;
using velto::platform::FailNull;
using velto::platform::ObjectKind;

namespace {

// Windows gives new files execute rights by default; the owner alone gets
// them here, so that a staged program can be started.
constexpr mode_t kNewFileMode = 0700;
constexpr int kOpenRetries = 3;

// The access of an open that share modes govern, in their terms.
DWORD RightsOf(DWORD access) {
    return ((access & GENERIC_READ) != 0 ? FILE_SHARE_READ : 0) | ((access & GENERIC_WRITE) != 0 ? FILE_SHARE_WRITE : 0) |
           ((access & DELETE) != 0 ? FILE_SHARE_DELETE : 0);
}

constexpr DWORD kDataRights = FILE_SHARE_READ | FILE_SHARE_WRITE;

// What an open may find at its name besides a file: a folder with
// FILE_FLAG_BACKUP_SEMANTICS, as on Windows, and with
// FILE_FLAG_OPEN_REPARSE_POINT a link itself, never what it points to.
struct OpenKinds {
    bool folders;
    bool linkItself;
};

// Writers are opened for reading too: their share-mode locks need it.
int AccessFlags(DWORD rights) {
    return (rights & FILE_SHARE_WRITE) != 0 ? O_RDWR : O_RDONLY;
}

// Opens path, creating it first for CREATE_ALWAYS. Sets existed when the
// file was there before.
int OpenWithDisposition(const std::string& path, int flags, DWORD disposition, bool& existed) {
    existed = false;
    for (int attempt = 0; attempt < kOpenRetries; ++attempt) {
        if (disposition == CREATE_ALWAYS) {
            const int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode);
            if (fd >= 0 || errno != EEXIST) return fd;
        }
        const int fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT || disposition == OPEN_EXISTING) {
            existed = fd >= 0;
            return fd;
        }
        // The file went away between the two opens: try again.
    }
    return -1;
}

// Files, and folders where the open asks for them; a device or a FIFO is
// refused as Windows refuses to open a folder as a file.
bool IsOpenableKind(int fd, bool folders) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        velto::platform::SetLastErrorFromErrno(ELOOP);
        return false;
    }
    if (!S_ISREG(info.st_mode) && !(folders && S_ISDIR(info.st_mode))) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

bool IsDeleted(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_nlink == 0;
}

// Checks the opened file and applies the share mode and truncation; on
// failure the last error is set and the caller closes fd.
bool PrepareOpenedFile(int fd, DWORD rights, DWORD shareMode, bool truncate, bool folders) {
    if (!IsOpenableKind(fd, folders) || !velto::platform::JoinShareModes(fd, rights, shareMode)) return false;
    // Deleted after it was opened and before its share mode counted: Windows
    // refuses to open a file that is being deleted.
    if (IsDeleted(fd)) return Fail(ERROR_ACCESS_DENIED);
    if (truncate && ftruncate(fd, 0) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    // Opened without blocking so that a FIFO cannot stall the open; reads
    // and writes block as usual.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

HANDLE AddFile(int fd, DWORD rights) {
    KernelObject file;
    file.kind = ObjectKind::File;
    file.fd = fd;
    file.rights = rights;
    return velto::platform::AddObject(file);
}

// An open for attributes alone reads no data, so it takes no part in share
// modes: Windows lets it open a file whatever others hold, and it keeps no
// one out. The descriptor can only be examined, never read or written.
HANDLE OpenForAttributes(const std::string& path, DWORD disposition, OpenKinds kinds) {
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        velto::platform::SetLastErrorForPath(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    if (fstatat(fd, "", &info, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0 ||
        !(S_ISLNK(info.st_mode) ? kinds.linkItself : IsOpenableKind(fd, kinds.folders))) {
        if (S_ISLNK(info.st_mode)) velto::platform::SetLastErrorFromErrno(ELOOP);
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return AddFile(fd, 0);
}

// A link opened itself, to be examined or removed. Nothing can read or
// write through it, and no open of this layer can open a link otherwise,
// so it takes no part in share modes.
HANDLE OpenLinkItself(const std::string& path, DWORD rights) {
    const int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstatat(fd, "", &info, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(info.st_mode)) {
        velto::platform::SetLastErrorForPath(fd < 0 ? errno : ENOENT, path);
        if (fd >= 0) close(fd);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return AddFile(fd, rights);
}

// The open file behind handle for a synchronous transfer of count bytes at
// buffer that needs right, or null with the last error set.
const KernelObject* FileForTransfer(HANDLE handle, LPCVOID buffer, DWORD count, LPOVERLAPPED overlapped,
                                    DWORD right) {
    const KernelObject* file = velto::platform::FindObject(handle, ObjectKind::File);
    if (file == nullptr) return nullptr;
    if (overlapped != nullptr || (buffer == nullptr && count != 0)) return FailNull(ERROR_INVALID_PARAMETER);
    if ((file->rights & right) == 0) return FailNull(ERROR_ACCESS_DENIED);
    return file;
}

// The two ways of opening that the bootstrapper uses: writing a new file
// (replacing an old one) and opening one that exists.
bool IsKnownDisposition(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == OPEN_EXISTING;
}

}  // namespace

extern "C" HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                              LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                              HANDLE hTemplateFile) {
    if (!IsKnownDisposition(dwCreationDisposition) || hTemplateFile != nullptr ||
        (dwShareMode & ~velto::platform::kShareAll) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path;
    if (!velto::platform::WidePathToUtf8(lpFileName, path)) return INVALID_HANDLE_VALUE;
    // A trailing separator would make the system resolve a link that stands
    // at the name.
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const OpenKinds kinds = {(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0,
                             (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0};
    if (dwDesiredAccess == FILE_READ_ATTRIBUTES) return OpenForAttributes(path, dwCreationDisposition, kinds);

    const DWORD rights = RightsOf(dwDesiredAccess);
    const int flags = AccessFlags(rights) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    bool existed = false;
    const int fd = OpenWithDisposition(path, flags, dwCreationDisposition, existed);
    if (fd < 0 && errno == ELOOP && kinds.linkItself && dwCreationDisposition == OPEN_EXISTING &&
        (rights & kDataRights) == 0) {
        return OpenLinkItself(path, rights);
    }
    if (fd < 0) {
        velto::platform::SetLastErrorForPath(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    const bool replacing = dwCreationDisposition == CREATE_ALWAYS && existed;
    if (!PrepareOpenedFile(fd, rights, dwShareMode, replacing, kinds.folders && (rights & FILE_SHARE_WRITE) == 0)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = AddFile(fd, rights);
    SetLastError(replacing ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

extern "C" BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                          LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    const KernelObject* file =
        FileForTransfer(hFile, lpBuffer, nNumberOfBytesToWrite, lpOverlapped, FILE_SHARE_WRITE);
    if (file == nullptr) return FALSE;
    std::size_t done = 0;
    const bool written = velto::platform::WriteFully(file->fd, lpBuffer, nNumberOfBytesToWrite, done);
    if (!written) velto::platform::SetLastErrorFromErrno(errno);
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(done);
    return written ? TRUE : FALSE;
}

extern "C" BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                         LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    const KernelObject* file = FileForTransfer(hFile, lpBuffer, nNumberOfBytesToRead, lpOverlapped, FILE_SHARE_READ);
    if (file == nullptr) return FALSE;
    // A file read returns the whole request unless the file ends first.
    std::size_t done = 0;
    if (!velto::platform::ReadFully(file->fd, lpBuffer, nNumberOfBytesToRead, done)) {
        velto::platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(done);
    return TRUE;
}

// FILE_BEGIN only: the one way the bootstrapper moves a file's position.
extern "C" BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                                 DWORD dwMoveMethod) {
    const KernelObject* file = velto::platform::FindObject(hFile, ObjectKind::File);
    if (file == nullptr) return FALSE;
    if (dwMoveMethod != FILE_BEGIN || liDistanceToMove.QuadPart < 0) return Fail(ERROR_INVALID_PARAMETER);
    const off_t position = lseek(file->fd, static_cast<off_t>(liDistanceToMove.QuadPart), SEEK_SET);
    if (position < 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (lpNewFilePointer != nullptr) lpNewFilePointer->QuadPart = position;
    return TRUE;
}

extern "C" BOOL FlushFileBuffers(HANDLE hFile) {
    const KernelObject* file = velto::platform::FindObject(hFile, ObjectKind::File);
    if (file == nullptr) return FALSE;
    if (fsync(file->fd) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}
