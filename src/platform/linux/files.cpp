// Files and folders. Paths are Windows paths made usable here (UTF-8, with
// slashes). A symbolic link is never followed at the last component, and
// share modes are kept as advisory flock() locks between users of this
// layer.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/linux/error_mapping.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/text_conversion.h"

using velto::platform::KernelObject;
using velto::platform::ObjectKind;

namespace {

// Windows gives new files execute rights by default; the owner alone gets
// them here, so that a staged program can be started.
constexpr mode_t kNewFileMode = 0700;
constexpr mode_t kNewFolderMode = 0700;
constexpr int kOpenRetries = 3;

bool ParentFolderExists(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return true;
    struct stat info {};
    return stat(slash == 0 ? "/" : path.substr(0, slash).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A missing file is ERROR_FILE_NOT_FOUND, a missing folder on the way to
// it ERROR_PATH_NOT_FOUND, as Windows tells them apart.
void SetLastErrorForPath(int errnum, const std::string& path) {
    if (errnum == ENOENT && !ParentFolderExists(path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
        velto::platform::SetLastErrorFromErrno(errnum);
    }
}

int AccessFlags(DWORD access) {
    const bool read = (access & GENERIC_READ) != 0;
    const bool write = (access & GENERIC_WRITE) != 0;
    if (read && write) return O_RDWR;
    return write ? O_WRONLY : O_RDONLY;
}

int LockForShareMode(DWORD shareMode) {
    if ((shareMode & FILE_SHARE_WRITE) != 0) return 0;
    return shareMode == 0 ? LOCK_EX : LOCK_SH;
}

// Opens path, creating it when the disposition allows. Sets existed when
// the file was there before.
int OpenWithDisposition(const std::string& path, int flags, DWORD disposition, bool& existed) {
    existed = false;
    for (int attempt = 0; attempt < kOpenRetries; ++attempt) {
        if (disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING) {
            const int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, kNewFileMode);
            if (fd >= 0 || errno != EEXIST || disposition == CREATE_NEW) return fd;
        }
        const int fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT || disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
            existed = fd >= 0;
            return fd;
        }
        // The file went away between the two opens: try again.
    }
    return -1;
}

// Checks the opened file and applies the share mode and truncation; on
// failure the last error is set and the caller closes fd.
bool PrepareOpenedFile(int fd, DWORD shareMode, bool truncate) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    const int lock = LockForShareMode(shareMode);
    if (lock != 0 && flock(fd, lock | LOCK_NB) != 0) {
        SetLastError(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : velto::platform::WinErrorFromErrno(errno));
        return false;
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    // Opened without blocking so that a FIFO cannot stall the open; reads
    // and writes block as usual.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

// The open file behind handle for a synchronous read or write of count
// bytes at buffer, or null with the last error set.
const KernelObject* FileForTransfer(HANDLE handle, LPCVOID buffer, DWORD count, LPOVERLAPPED overlapped) {
    const KernelObject* file = velto::platform::FindObject(handle, ObjectKind::File);
    if (file != nullptr && (overlapped != nullptr || (buffer == nullptr && count != 0))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return file;
}

bool IsKnownDisposition(DWORD disposition) {
    return disposition >= CREATE_NEW && disposition <= TRUNCATE_EXISTING;
}

}  // namespace

extern "C" HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                              LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE hTemplateFile) {
    if (!IsKnownDisposition(dwCreationDisposition) || hTemplateFile != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path;
    if (!velto::platform::WidePathToUtf8(lpFileName, path)) return INVALID_HANDLE_VALUE;

    const int flags = AccessFlags(dwDesiredAccess) | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    bool existed = false;
    const int fd = OpenWithDisposition(path, flags, dwCreationDisposition, existed);
    if (fd < 0) {
        SetLastErrorForPath(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    const bool truncate = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
    if (!PrepareOpenedFile(fd, dwShareMode, truncate && existed)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    KernelObject file;
    file.kind = ObjectKind::File;
    file.fd = fd;
    const HANDLE handle = velto::platform::AddObject(file);
    const bool reportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

extern "C" BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                          LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    const KernelObject* file = FileForTransfer(hFile, lpBuffer, nNumberOfBytesToWrite, lpOverlapped);
    if (file == nullptr) return FALSE;
    const auto* bytes = static_cast<const unsigned char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t count = write(file->fd, bytes + done, nNumberOfBytesToWrite - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            velto::platform::SetLastErrorFromErrno(count < 0 ? errno : ENOSPC);
            if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(count);
    }
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
    return TRUE;
}

extern "C" BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                         LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    const KernelObject* file = FileForTransfer(hFile, lpBuffer, nNumberOfBytesToRead, lpOverlapped);
    if (file == nullptr) return FALSE;
    // A file read returns the whole request unless the file ends first.
    auto* bytes = static_cast<unsigned char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        const ssize_t count = read(file->fd, bytes + done, nNumberOfBytesToRead - done);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            velto::platform::SetLastErrorFromErrno(errno);
            return FALSE;
        }
        if (count == 0) break;
        done += static_cast<DWORD>(count);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
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

extern "C" BOOL DeleteFileW(LPCWSTR lpFileName) {
    std::string path;
    if (!velto::platform::WidePathToUtf8(lpFileName, path)) return FALSE;
    if (unlink(path.c_str()) != 0) {
        SetLastErrorForPath(errno == EISDIR ? EACCES : errno, path);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (lpSecurityAttributes != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
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
