#include "verify/staging_folder.h"

#include <vector>

#include "base/scoped_owner.h"
#include "verify/staging_location.h"

const wchar_t kStagingFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;OW)";

namespace {

// A name is taken only by chance, or by someone who saw it in an earlier
// run; a few new names settle either.
constexpr int kNameAttempts = 8;
constexpr DWORD kLongestPath = 32767;
constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
// NTSTATUS values of ntstatus.h, which windows.h leaves out.
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kNameInvalid = static_cast<NTSTATUS>(0xC0000033);

// NtCreateFile takes the NT form of a path: "\??\" before a drive path,
// "\??\UNC\" before a share.
std::wstring NtPathOf(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return L"\\??\\" + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + path.substr(2);
    return L"\\??\\" + path;
}

// CreateDirectoryW cannot hand back a handle, so between making the folder
// and opening it another process could put its own in its place.
// NtCreateFile makes and opens it in one step, and FILE_CREATE fails
// rather than open anything that stands at the name already;
// FILE_OPEN_REPARSE_POINT keeps it from following a link there. The share
// mode, which leaves out deleting, keeps the folder from being renamed
// while it is held. The hold itself does not ask to delete: the installer
// opens the folder as its working folder and lists it, and those opens
// need not share deleting.
NTSTATUS CreateHeldFolder(std::wstring ntPath, PSECURITY_DESCRIPTOR security, HANDLE& folder) {
    folder = INVALID_HANDLE_VALUE;
    const std::size_t bytes = ntPath.size() * sizeof(wchar_t);
    if (bytes > 0xFFFE) return kNameInvalid;
    UNICODE_STRING name = {static_cast<USHORT>(bytes), static_cast<USHORT>(bytes), ntPath.data()};
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(OBJECT_ATTRIBUTES);
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    attributes.SecurityDescriptor = security;
    IO_STATUS_BLOCK status = {};
    HANDLE created = nullptr;
    const NTSTATUS result = NtCreateFile(
        &created, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &status, nullptr,
        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE,
        FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (NT_SUCCESS(result)) folder = created;
    return result;
}

}  // namespace

// Windows compares names without case, and reports the folders in the case
// they have on disk.
bool IsFolderAt(HANDLE folder, const std::wstring& path) {
    std::vector<wchar_t> reported(kLongestPath + 1, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(folder, reported.data(), kLongestPath, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kLongestPath) return false;
    std::wstring finalPath(reported.data(), length);
    if (finalPath.rfind(kLongPathPrefix, 0) == 0) finalPath.erase(0, sizeof(kLongPathPrefix) / sizeof(wchar_t) - 1);
    return finalPath.size() == path.size() && _wcsnicmp(finalPath.c_str(), path.c_str(), path.size()) == 0;
}

HANDLE CreateStagingFolder(const std::wstring& tempFolder, PSECURITY_DESCRIPTOR security, std::wstring& folderPath) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::wstring name;
        if (!MakeStagingFolderName(name)) return INVALID_HANDLE_VALUE;
        folderPath = tempFolder + name;
        HANDLE made = INVALID_HANDLE_VALUE;
        const NTSTATUS status = CreateHeldFolder(NtPathOf(folderPath), security, made);
        if (NT_SUCCESS(status)) {
            ScopedFileHandle folder(made);
            // Made where something led it, not where it was asked for: left
            // there, empty, rather than deleted by a name that leads
            // elsewhere too.
            return IsFolderAt(folder.get(), folderPath) ? folder.Release() : INVALID_HANDLE_VALUE;
        }
        if (status != kNameCollision) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}
