// Only elevated code can have written into a staging folder: its
// descriptor lets no one else in, and it lies where no one without
// elevation can change a folder on its path. So the walk may go by name,
// as a name there can be changed only by elevated code. Still, nothing in
// it follows a link: each entry is opened with FILE_FLAG_OPEN_REPARSE_POINT,
// which opens a junction or link itself, examined through that handle, and
// deleted through it; a folder is walked into only when the handle shows a
// real folder, not a link to one. A folder open here cannot be renamed,
// since the open does not share deleting.
#include "verify/staging_removal.h"

#include <cwchar>

#include "base/scoped_owner.h"

namespace {

constexpr int kDeepest = 32;
constexpr long kMostEntries = 100000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kEntryFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

bool IsDotEntry(const wchar_t* name) {
    return std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0;
}

// Examined through an open for attributes alone, which takes no part in
// share modes.
bool IsRealFolderAt(const std::wstring& path) {
    const ScopedFileHandle entry(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, kEntryFlags, nullptr));
    return entry && IsRealFolder(entry.get());
}

void RemoveContents(const std::wstring& folderPath, int depth, long& budget);

// A folder's contents go first, while nothing here holds the folder:
// listing a folder need not share deleting with an open that may delete
// it. The open for deleting shares neither deleting nor renaming.
void RemoveEntry(const std::wstring& path, int depth, long& budget) {
    if (depth < kDeepest && IsRealFolderAt(path)) RemoveContents(path, depth + 1, budget);
    const ScopedFileHandle entry(CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, kEntryFlags, nullptr));
    if (entry) DeleteThroughHandle(entry.get());
}

void RemoveContents(const std::wstring& folderPath, int depth, long& budget) {
    WIN32_FIND_DATAW found = {};
    const ScopedSearchHandle search(FindFirstFileW((folderPath + L"\\*").c_str(), &found));
    if (!search) return;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        if (--budget < 0) return;
        RemoveEntry(folderPath + L"\\" + found.cFileName, depth, budget);
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace

bool IsRealFolder(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information = {};
    return GetFileInformationByHandle(handle, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool DeleteThroughHandle(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

void RemovePath(const std::wstring& path) {
    long budget = kMostEntries;
    RemoveEntry(path, 0, budget);
}
