// GetTempPathW: a folder that only the current user can write to, so that
// no other local user can plant, replace or link a file staged in it. That
// is $XDG_RUNTIME_DIR when it is private to the user, otherwise a per-user
// folder under $TMPDIR or /tmp that is made with mode 0700 and whose owner
// and mode are checked before every use.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/linux/api_failure.h"
#include "platform/linux/error_mapping.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/text_conversion.h"

namespace {

using velto::platform::Fail;

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

// A real folder (not a link to one), owned by us, that nobody else may
// enter or write to.
bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
}

std::string TrimTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool FindPrivateTempFolder(std::string& folder) {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (IsAbsolute(runtimeDir) && IsPrivateFolder(TrimTrailingSlashes(runtimeDir))) {
        folder = TrimTrailingSlashes(runtimeDir);
        return true;
    }
    const char* tmpDir = std::getenv("TMPDIR");
    const std::string base = TrimTrailingSlashes(IsAbsolute(tmpDir) ? tmpDir : "/tmp");
    folder = (base == "/" ? "" : base) + "/velto-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    if (!IsPrivateFolder(folder)) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

// The folder as a Windows path: backslashes, ending in one. A name that
// holds a backslash itself could not be turned back, so it is refused.
bool ToWindowsFolderPath(const std::string& folder, std::wstring& wide) {
    return velto::platform::Utf8PathToWidePath(folder + "/", wide) && !wide.empty();
}

}  // namespace

extern "C" DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    std::string folder;
    if (!FindPrivateTempFolder(folder)) return 0;
    std::wstring wide;
    if (!ToWindowsFolderPath(folder, wide)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    // Too small a buffer gets the size it needs, terminator included.
    if (lpBuffer == nullptr || wide.size() + 1 > nBufferLength) return static_cast<DWORD>(wide.size() + 1);
    wide.copy(lpBuffer, wide.size());
    lpBuffer[wide.size()] = L'\0';
    return static_cast<DWORD>(wide.size());
}
