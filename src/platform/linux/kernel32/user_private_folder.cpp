#include "platform/linux/kernel32/user_private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"

namespace velto::platform {
namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

std::string TrimTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & 077) == 0;
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
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (!IsPrivateFolder(folder)) return Fail(ERROR_ACCESS_DENIED);
    return true;
}

}  // namespace velto::platform
