// NtCreateFile, as far as the staging folder needs it: a new folder made
// and opened in one step, so that nothing can take its place in between.
// The folder is made in the descriptor of its parent, opened without
// following a link, and checked to be the user's own folder with mode 0700
// before a handle is handed out. A security descriptor is accepted only
// when it keeps the folder private to the running user, which is what mode
// 0700 gives; the layer matches names exactly, whatever the case flag.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/ntdll.h"
#include "platform/linux/ntdll/private_descriptor.h"
#include "platform/linux/support/share_mode.h"
#include "platform/linux/support/text_conversion.h"

namespace {

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE | READ_CONTROL;
constexpr ULONG kFolderOptions = FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
constexpr std::wstring_view kDosDevicesPrefix = L"\\??\\";
constexpr mode_t kFolderMode = 0700;

struct StatusMapping {
    int errnum;
    NTSTATUS status;
};

constexpr StatusMapping kStatuses[] = {
    {ENOENT, STATUS_OBJECT_PATH_NOT_FOUND}, {ENOTDIR, STATUS_OBJECT_PATH_NOT_FOUND},
    {EEXIST, STATUS_OBJECT_NAME_COLLISION}, {EACCES, STATUS_ACCESS_DENIED},
    {EPERM, STATUS_ACCESS_DENIED},          {ENOSPC, STATUS_DISK_FULL},
    {EDQUOT, STATUS_DISK_FULL},             {EROFS, STATUS_MEDIA_WRITE_PROTECTED},
    {ENAMETOOLONG, STATUS_NAME_TOO_LONG},   {EMFILE, STATUS_TOO_MANY_OPENED_FILES},
    {ENFILE, STATUS_TOO_MANY_OPENED_FILES}, {ENOMEM, STATUS_NO_MEMORY},
};

NTSTATUS StatusFromErrno(int errnum) {
    for (const StatusMapping& mapping : kStatuses) {
        if (mapping.errnum == errnum) return mapping.status;
    }
    return STATUS_UNSUCCESSFUL;
}

// What the layer does not do is refused as unsupported; what Windows
// itself refuses, as an invalid parameter.
NTSTATUS CheckRequest(PHANDLE handle, ACCESS_MASK access, const OBJECT_ATTRIBUTES* attributes,
                      const IO_STATUS_BLOCK* ioStatus, ULONG fileAttributes, ULONG shareAccess, ULONG disposition,
                      ULONG options, const void* extendedAttributes, ULONG extendedLength) {
    if (handle == nullptr || attributes == nullptr || ioStatus == nullptr || attributes->ObjectName == nullptr ||
        attributes->Length != sizeof(OBJECT_ATTRIBUTES) || (shareAccess & ~velto::platform::kShareAll) != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    // Synchronous I/O needs the right to wait on the handle.
    if ((options & FILE_SYNCHRONOUS_IO_NONALERT) != 0 && (access & SYNCHRONIZE) == 0) return STATUS_INVALID_PARAMETER;
    if (attributes->RootDirectory != nullptr || (attributes->Attributes & ~OBJ_CASE_INSENSITIVE) != 0 ||
        attributes->SecurityQualityOfService != nullptr || disposition != FILE_CREATE ||
        (options & FILE_DIRECTORY_FILE) == 0 || (options & ~kFolderOptions) != 0 || (access & ~kFolderAccess) != 0 ||
        (fileAttributes != 0 && fileAttributes != FILE_ATTRIBUTE_NORMAL) || extendedAttributes != nullptr ||
        extendedLength != 0) {
        return STATUS_NOT_SUPPORTED;
    }
    if (attributes->SecurityDescriptor == nullptr) return STATUS_SUCCESS;
    return velto::platform::CheckPrivateDescriptor(attributes->SecurityDescriptor);
}

// "\??\" and an absolute Windows path as the layer makes them, split into
// the folder's parent and its name.
NTSTATUS SplitObjectName(const UNICODE_STRING& name, std::string& parent, std::string& leaf) {
    if (name.Buffer == nullptr || name.Length % sizeof(wchar_t) != 0 || name.Length > name.MaximumLength) {
        return STATUS_INVALID_PARAMETER;
    }
    std::wstring_view text(name.Buffer, name.Length / sizeof(wchar_t));
    if (text.substr(0, kDosDevicesPrefix.size()) != kDosDevicesPrefix) return STATUS_OBJECT_NAME_INVALID;
    text.remove_prefix(kDosDevicesPrefix.size());
    std::string path;
    if (text.find(L'\0') != std::wstring_view::npos ||
        !velto::platform::WidePathToUtf8(std::wstring(text).c_str(), path) || path[0] != '/') {
        return STATUS_OBJECT_NAME_INVALID;
    }
    const std::size_t slash = path.find_last_of('/');
    parent = slash == 0 ? "/" : path.substr(0, slash);
    leaf = path.substr(slash + 1);
    return leaf.empty() || leaf == "." || leaf == ".." ? STATUS_OBJECT_NAME_INVALID : STATUS_SUCCESS;
}

// The opened entry must be the folder just made: a folder, the user's,
// mode 0700. Anything else was put there by someone else.
bool IsOwnPrivateFolder(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 07777) == kFolderMode;
}

NTSTATUS MakeAndOpenFolder(int parent, const std::string& leaf, DWORD rights, DWORD shareMode, int& folder) {
    if (mkdirat(parent, leaf.c_str(), kFolderMode) != 0) return StatusFromErrno(errno);
    folder = openat(parent, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) return errno == EMFILE || errno == ENFILE ? StatusFromErrno(errno) : STATUS_ACCESS_DENIED;
    if (!IsOwnPrivateFolder(folder)) return STATUS_ACCESS_DENIED;
    if (!velto::platform::JoinShareModes(folder, rights, shareMode)) return STATUS_SHARING_VIOLATION;
    return STATUS_SUCCESS;
}

}  // namespace

extern "C" NTSTATUS NtCreateFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes,
                                 PIO_STATUS_BLOCK IoStatusBlock, PLARGE_INTEGER, ULONG FileAttributes,
                                 ULONG ShareAccess, ULONG CreateDisposition, ULONG CreateOptions, PVOID EaBuffer,
                                 ULONG EaLength) {
    NTSTATUS status = CheckRequest(FileHandle, DesiredAccess, ObjectAttributes, IoStatusBlock, FileAttributes,
                                   ShareAccess, CreateDisposition, CreateOptions, EaBuffer, EaLength);
    std::string parentPath;
    std::string leaf;
    if (NT_SUCCESS(status)) status = SplitObjectName(*ObjectAttributes->ObjectName, parentPath, leaf);
    if (!NT_SUCCESS(status)) return status;

    const int parent = open(parentPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return StatusFromErrno(errno);
    // Listing a folder is reading it, as far as share modes go.
    const DWORD rights = (DesiredAccess & FILE_LIST_DIRECTORY) != 0 ? FILE_SHARE_READ : 0;
    int folder = -1;
    status = MakeAndOpenFolder(parent, leaf, rights, ShareAccess, folder);
    close(parent);
    if (!NT_SUCCESS(status)) {
        if (folder >= 0) close(folder);
        return status;
    }
    velto::platform::KernelObject object;
    object.kind = velto::platform::ObjectKind::File;
    object.fd = folder;
    object.rights = rights;
    *FileHandle = velto::platform::AddObject(object);
    IoStatusBlock->Status = STATUS_SUCCESS;
    IoStatusBlock->Information = FILE_CREATED;
    return STATUS_SUCCESS;
}
