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

#include "platform/linux/api_failure.h"
#include "platform/linux/error_mapping.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/posix_io.h"
#include "platform/linux/share_mode.h"
#include "platform/linux/text_conversion.h"

using velto::platform::KernelObject;
using velto::platform::Fail;
using velto::platform::FailNull;
using velto::platform::ObjectKind;

namespace {

// Windows gives new files execute rights by default; the owner alone gets
// them here, so that a staged program can be started.
constexpr mode_t kNewFileMode = 0700;
constexpr int kOpenRetries = 3;
// Between 1601 and 1970, in the 100-nanosecond units of a FILETIME.
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
constexpr long long kFileTimeUnitsPerSecond = 10000000LL;

// The data access of an open, in the terms share modes use.
DWORD RightsOf(DWORD access) {
    return ((access & GENERIC_READ) != 0 ? FILE_SHARE_READ : 0) | ((access & GENERIC_WRITE) != 0 ? FILE_SHARE_WRITE : 0);
}

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

// Files only: a folder, device or link is refused as Windows refuses to
// open a folder as a file.
bool IsRegularFile(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        velto::platform::SetLastErrorFromErrno(ELOOP);
        return false;
    }
    if (!S_ISREG(info.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

bool IsDeleted(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_nlink == 0;
}

// Checks the opened file and applies the share mode and truncation; on
// failure the last error is set and the caller closes fd.
bool PrepareOpenedFile(int fd, DWORD rights, DWORD shareMode, bool truncate) {
    if (!IsRegularFile(fd) || !velto::platform::JoinShareModes(fd, rights, shareMode)) return false;
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
HANDLE OpenForAttributes(const std::string& path, DWORD disposition) {
    if (disposition != OPEN_EXISTING) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        velto::platform::SetLastErrorForPath(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    if (!IsRegularFile(fd)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return AddFile(fd, 0);
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

// A FILETIME: 100-nanosecond units since 1601.
FILETIME ToFileTime(const struct statx_timestamp& time) {
    const long long seconds = time.tv_sec + kSecondsFrom1601To1970;
    const auto units = static_cast<unsigned long long>(seconds < 0 ? 0 : seconds * kFileTimeUnitsPerSecond + time.tv_nsec / 100);
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

}  // namespace

extern "C" HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                              LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE hTemplateFile) {
    if (!IsKnownDisposition(dwCreationDisposition) || hTemplateFile != nullptr ||
        (dwShareMode & ~velto::platform::kShareAll) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path;
    if (!velto::platform::WidePathToUtf8(lpFileName, path)) return INVALID_HANDLE_VALUE;
    if (dwDesiredAccess == FILE_READ_ATTRIBUTES) return OpenForAttributes(path, dwCreationDisposition);

    const DWORD rights = RightsOf(dwDesiredAccess);
    const int flags = AccessFlags(rights) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    bool existed = false;
    const int fd = OpenWithDisposition(path, flags, dwCreationDisposition, existed);
    if (fd < 0) {
        velto::platform::SetLastErrorForPath(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    const bool replacing = dwCreationDisposition == CREATE_ALWAYS && existed;
    if (!PrepareOpenedFile(fd, rights, dwShareMode, replacing)) {
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

extern "C" BOOL FlushFileBuffers(HANDLE hFile) {
    const KernelObject* file = velto::platform::FindObject(hFile, ObjectKind::File);
    if (file == nullptr) return FALSE;
    if (fsync(file->fd) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

// The file's identity is its device and inode: two handles of one file
// give the same volume serial number and file index, two files differ.
extern "C" BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    const KernelObject* file = velto::platform::FindObject(hFile, ObjectKind::File);
    if (file == nullptr) return FALSE;
    if (lpFileInformation == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    struct statx info {};
    if (statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION& out = *lpFileInformation;
    out = {};
    out.dwFileAttributes = S_ISDIR(info.stx_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    // Without a recorded birth time, the last status change is the closest.
    out.ftCreationTime = ToFileTime((info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_ctime);
    out.ftLastAccessTime = ToFileTime(info.stx_atime);
    out.ftLastWriteTime = ToFileTime(info.stx_mtime);
    out.dwVolumeSerialNumber = info.stx_dev_major << 20 ^ info.stx_dev_minor;
    out.nFileSizeHigh = static_cast<DWORD>(info.stx_size >> 32);
    out.nFileSizeLow = static_cast<DWORD>(info.stx_size);
    out.nNumberOfLinks = info.stx_nlink;
    out.nFileIndexHigh = static_cast<DWORD>(info.stx_ino >> 32);
    out.nFileIndexLow = static_cast<DWORD>(info.stx_ino);
    return TRUE;
}
