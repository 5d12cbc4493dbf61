// Velto.exe runs elevated, and the temporary folder belongs to the user: any
// of the user's processes, elevated or not, may have made the staging
// folder in advance (with DLLs in it for the installer to load), made it a
// junction to a folder of its own, or may rename it and put another file in
// its place once the checks are done. So the folder is never reused: what
// stands at its name is taken away, and the folder is created and opened in
// one step, with a descriptor that lets no one but SYSTEM and
// Administrators change it, and held without delete sharing so that it
// cannot be renamed or removed until the run lets go of it.
#include "verify/staging_folder.h"

#include <string>

namespace {

// Protected from inheritance: the temporary folder's own entries let the
// user write. The owner is Administrators rather than the user, because an
// owner may always rewrite a descriptor and the user's other processes run
// as the same user; OWNER RIGHTS reduces whoever owns a file made in the
// folder to reading it.
constexpr wchar_t kStagingFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)";
constexpr int kCreateAttempts = 3;

// NtCreateFile takes the NT form of a path: "\??\" before a drive path,
// "\??\UNC\" before a share.
std::wstring NtPathOf(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

// CreateDirectoryW cannot hand back a handle, so between making the folder
// and opening it another process could put its own in its place.
// NtCreateFile makes and opens it in one step; FILE_OPEN_REPARSE_POINT
// keeps it from following anything, and the share mode, which leaves out
// deleting, keeps it from being renamed while it is held.
HANDLE CreateHeldFolder(std::wstring ntPath, PSECURITY_DESCRIPTOR security) {
    const std::size_t bytes = ntPath.size() * sizeof(wchar_t);
    if (bytes > 0xFFFE) return INVALID_HANDLE_VALUE;
    UNICODE_STRING name = {static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), ntPath.data()};
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(OBJECT_ATTRIBUTES);
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    attributes.SecurityDescriptor = security;
    IO_STATUS_BLOCK status = {};
    HANDLE folder = nullptr;
    const NTSTATUS result = NtCreateFile(
        &folder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &status, nullptr,
        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
        FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    return NT_SUCCESS(result) ? folder : INVALID_HANDLE_VALUE;
}

// Takes away what stands at the folder's name. An empty folder (an earlier
// run's) or a link is removed: a link itself, never what it points to. A
// folder with entries may be another process's; it is moved aside whole,
// and nothing in it is ever opened.
bool ClearFolderName(const std::wstring& folderPath, int attempt) {
    if (RemoveDirectoryW(folderPath.c_str()) || DeleteFileW(folderPath.c_str())) return true;
    const std::wstring aside =
        folderPath + L".replaced-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
    return MoveFileExW(folderPath.c_str(), aside.c_str(), 0) != FALSE;
}

}  // namespace

HANDLE CreateStagingFolder(const std::wstring& folderPath) {
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kStagingFolderSecurity, SDDL_REVISION_1, &security,
                                                              nullptr)) {
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring ntPath = NtPathOf(folderPath);
    HANDLE folder = CreateHeldFolder(ntPath, security);
    for (int attempt = 1; folder == INVALID_HANDLE_VALUE && attempt < kCreateAttempts; ++attempt) {
        if (!ClearFolderName(folderPath, attempt)) break;
        folder = CreateHeldFolder(ntPath, security);
    }
    LocalFree(security);
    return folder;
}
