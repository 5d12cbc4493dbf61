// FindFirstFileW, FindNextFileW and FindClose: the entries of one folder
// whose names match a pattern. The folder is read once, when the search
// starts, and its entries handed out in name order. Patterns are matched
// as fnmatch(3) matches them, "*" and "?" as on Windows; names are matched
// exactly, case included. A name that cannot be Windows text (not UTF-8,
// or too long for cFileName) is left out. The folder itself is never
// reached through a link at its last component.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32/file_attributes.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

namespace velto::platform {

struct FolderListing {
    std::vector<WIN32_FIND_DATAW> entries;
    std::size_t next = 0;
};

}  // namespace velto::platform

namespace {

using velto::platform::FolderListing;
using velto::platform::KernelObject;
using velto::platform::ObjectKind;

bool FindData(int folder, const std::string& name, WIN32_FIND_DATAW& entry) {
    std::wstring wide;
    struct statx info {};
    if (!velto::platform::Utf8PathToWidePath(name, wide) || wide.size() >= MAX_PATH ||
        statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) {
        return false;
    }
    entry = {};
    entry.dwFileAttributes = velto::platform::AttributesOf(info.stx_mode);
    entry.ftCreationTime = velto::platform::CreationTimeOf(info);
    entry.ftLastAccessTime = velto::platform::ToFileTime(info.stx_atime);
    entry.ftLastWriteTime = velto::platform::ToFileTime(info.stx_mtime);
    entry.nFileSizeHigh = static_cast<DWORD>(info.stx_size >> 32);
    entry.nFileSizeLow = static_cast<DWORD>(info.stx_size);
    wide.copy(entry.cFileName, wide.size());
    return true;
}

// The names in the open folder that match pattern, sorted. The folder is
// read through a copy of fd, which the reading closes.
bool ListFolder(int fd, const std::string& pattern, std::vector<std::string>& names) {
    const int copy = dup(fd);
    DIR* folder = copy >= 0 ? fdopendir(copy) : nullptr;
    if (folder == nullptr) {
        velto::platform::SetLastErrorFromErrno(errno);
        if (copy >= 0) close(copy);
        return false;
    }
    errno = 0;
    while (const dirent* entry = readdir(folder)) {
        if (fnmatch(pattern.c_str(), entry->d_name, 0) == 0) names.emplace_back(entry->d_name);
    }
    const int errnum = errno;
    closedir(folder);
    if (errnum != 0) velto::platform::SetLastErrorFromErrno(errnum);
    std::sort(names.begin(), names.end());
    return errnum == 0;
}

// The folder and the pattern of a search path, "folder\pattern".
bool SplitSearchPath(LPCWSTR searchPath, std::string& folder, std::string& pattern) {
    std::string path;
    if (!velto::platform::WidePathToUtf8(searchPath, path)) return false;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == path.size()) return velto::platform::Fail(ERROR_INVALID_NAME);
    folder = slash == 0 ? "/" : path.substr(0, slash);
    pattern = path.substr(slash + 1);
    return true;
}

bool ReadListing(const std::string& folderPath, const std::string& pattern, FolderListing& listing) {
    const int fd = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        velto::platform::SetLastErrorForPath(errno == ENOENT ? ENOTDIR : errno, folderPath);
        return false;
    }
    std::vector<std::string> names;
    const bool listed = ListFolder(fd, pattern, names);
    for (const std::string& name : names) {
        WIN32_FIND_DATAW entry;
        if (FindData(fd, name, entry)) listing.entries.push_back(entry);
    }
    close(fd);
    if (listed && listing.entries.empty()) SetLastError(ERROR_FILE_NOT_FOUND);
    return listed && !listing.entries.empty();
}

}  // namespace

extern "C" HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    std::string folder;
    std::string pattern;
    if (lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto listing = std::make_shared<FolderListing>();
    if (!SplitSearchPath(lpFileName, folder, pattern) || !ReadListing(folder, pattern, *listing)) {
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = listing->entries[listing->next++];
    KernelObject search;
    search.kind = ObjectKind::Search;
    search.listing = listing;
    SetLastError(ERROR_SUCCESS);
    return velto::platform::AddObject(search);
}

extern "C" BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    KernelObject* search = velto::platform::FindObject(hFindFile, ObjectKind::Search);
    if (search == nullptr) return FALSE;
    if (lpFindFileData == nullptr) return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    FolderListing& listing = *search->listing;
    if (listing.next == listing.entries.size()) return velto::platform::Fail(ERROR_NO_MORE_FILES);
    *lpFindFileData = listing.entries[listing.next++];
    return TRUE;
}

extern "C" BOOL FindClose(HANDLE hFindFile) {
    return velto::platform::TakeSearch(hFindFile) ? TRUE : FALSE;
}
