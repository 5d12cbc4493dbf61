// What a file handle tells and changes about its file: attributes and
// identity, the path it is reached by, and its removal. The removal goes
// through the handle: the name is looked up from the open file itself,
// never from a path given by the caller.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32/file_attributes.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

using velto::platform::Fail;
using velto::platform::KernelObject;
using velto::platform::ObjectKind;

namespace {

constexpr unsigned kStatFields = STATX_BASIC_STATS | STATX_BTIME;
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

// The file behind a handle, examined; a link opened itself is examined
// itself. False with the last error set.
bool StatHandle(HANDLE handle, const KernelObject*& file, struct statx& info) {
    file = velto::platform::FindObject(handle, ObjectKind::File);
    if (file == nullptr) return false;
    if (statx(file->fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, kStatFields, &info) != 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

// The path the open file has now, renames included, as the kernel keeps
// it. A file that has been removed has none.
bool CurrentPath(int fd, const struct statx& info, std::string& path) {
    if (info.stx_nlink == 0) return Fail(ERROR_FILE_NOT_FOUND);
    char link[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(self.c_str(), link, sizeof(link) - 1);
    if (length <= 0 || link[0] != '/') {
        velto::platform::SetLastErrorFromErrno(length < 0 ? errno : ENOENT);
        return false;
    }
    path.assign(link, static_cast<std::size_t>(length));
    return true;
}

bool SameObject(const struct statx& left, const struct statx& right) {
    return left.stx_ino == right.stx_ino && left.stx_dev_major == right.stx_dev_major &&
           left.stx_dev_minor == right.stx_dev_minor;
}

// Removes leaf from the open folder parent when it still names the object
// that info describes; 0, or the errno of the failure.
int UnlinkIfSame(int parent, const std::string& leaf, const struct statx& info) {
    struct statx there {};
    if (statx(parent, leaf.c_str(), AT_SYMLINK_NOFOLLOW, kStatFields, &there) != 0) return errno;
    if (!SameObject(info, there)) return ENOENT;
    return unlinkat(parent, leaf.c_str(), S_ISDIR(info.stx_mode) ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
}

// Removes the entry that names the open file: a folder only when it is
// empty, a link itself. The name goes at once, as with Windows' POSIX
// delete semantics; the file lives on until its last handle is closed.
bool RemoveEntryOf(int fd, const struct statx& info) {
    std::string path;
    if (!CurrentPath(fd, info, path)) return false;
    const std::size_t slash = path.find_last_of('/');
    const std::string parentPath = slash == 0 ? "/" : path.substr(0, slash);
    const int parent = open(parentPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    const int errnum = UnlinkIfSame(parent, path.substr(slash + 1), info);
    close(parent);
    if (errnum == 0) return true;
    if (errnum == ENOTEMPTY || errnum == EEXIST) return Fail(ERROR_DIR_NOT_EMPTY);
    velto::platform::SetLastErrorFromErrno(errnum);
    return false;
}

}  // namespace

// The file's identity is its device and inode: two handles of one file
// give the same volume serial number and file index, two files differ.
extern "C" BOOL GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    const KernelObject* file = nullptr;
    struct statx info {};
    if (!StatHandle(hFile, file, info)) return FALSE;
    if (lpFileInformation == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    BY_HANDLE_FILE_INFORMATION& out = *lpFileInformation;
    out = {};
    out.dwFileAttributes = velto::platform::AttributesOf(info.stx_mode);
    out.ftCreationTime = velto::platform::CreationTimeOf(info);
    out.ftLastAccessTime = velto::platform::ToFileTime(info.stx_atime);
    out.ftLastWriteTime = velto::platform::ToFileTime(info.stx_mtime);
    out.dwVolumeSerialNumber = info.stx_dev_major << 20 ^ info.stx_dev_minor;
    out.nFileSizeHigh = static_cast<DWORD>(info.stx_size >> 32);
    out.nFileSizeLow = static_cast<DWORD>(info.stx_size);
    out.nNumberOfLinks = info.stx_nlink;
    out.nFileIndexHigh = static_cast<DWORD>(info.stx_ino >> 32);
    out.nFileIndexLow = static_cast<DWORD>(info.stx_ino);
    return TRUE;
}

// FileIdInfo only: the whole device number as the volume, the inode in the
// low eight bytes of the 128-bit file ID.
extern "C" BOOL GetFileInformationByHandleEx(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                             LPVOID lpFileInformation, DWORD dwBufferSize) {
    const KernelObject* file = nullptr;
    struct statx info {};
    if (!StatHandle(hFile, file, info)) return FALSE;
    if (FileInformationClass != FileIdInfo) return Fail(ERROR_NOT_SUPPORTED);
    if (lpFileInformation == nullptr || dwBufferSize < sizeof(FILE_ID_INFO)) return Fail(ERROR_BAD_LENGTH);
    FILE_ID_INFO& out = *static_cast<FILE_ID_INFO*>(lpFileInformation);
    out = {};
    out.VolumeSerialNumber = static_cast<ULONGLONG>(info.stx_dev_major) << 32 | info.stx_dev_minor;
    for (int i = 0; i < 8; ++i) out.FileId.Identifier[i] = static_cast<BYTE>(info.stx_ino >> (8 * i));
    return TRUE;
}

// FileDispositionInfo only, and only to delete: the layer removes the name
// at once, so there is no pending deletion left to take back.
extern "C" BOOL SetFileInformationByHandle(HANDLE hFile, FILE_INFO_BY_HANDLE_CLASS FileInformationClass,
                                           LPVOID lpFileInformation, DWORD dwBufferSize) {
    const KernelObject* file = nullptr;
    struct statx info {};
    if (!StatHandle(hFile, file, info)) return FALSE;
    if (FileInformationClass != FileDispositionInfo || lpFileInformation == nullptr ||
        dwBufferSize < sizeof(FILE_DISPOSITION_INFO)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!static_cast<const FILE_DISPOSITION_INFO*>(lpFileInformation)->DeleteFile) return Fail(ERROR_NOT_SUPPORTED);
    if ((file->rights & FILE_SHARE_DELETE) == 0) return Fail(ERROR_ACCESS_DENIED);
    return RemoveEntryOf(file->fd, info) ? TRUE : FALSE;
}

// The path by which the open file is reached now, links resolved, in the
// "\\?\" form that Windows gives for FILE_NAME_NORMALIZED | VOLUME_NAME_DOS,
// the only form the layer gives.
extern "C" DWORD GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath, DWORD dwFlags) {
    const KernelObject* file = nullptr;
    struct statx info {};
    if (!StatHandle(hFile, file, info)) return 0;
    if (dwFlags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string path;
    std::wstring wide;
    if (!CurrentPath(file->fd, info, path)) return 0;
    if (!velto::platform::Utf8PathToWidePath(path, wide)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    return velto::platform::CopyTextOut(kLongPathPrefix + wide, lpszFilePath, cchFilePath);
}
