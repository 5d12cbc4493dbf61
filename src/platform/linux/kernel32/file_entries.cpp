// Making a folder by name. The layer removes entries only through handles
// (SetFileInformationByHandle), never by name.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"

namespace {

using velto::platform::Fail;

constexpr mode_t kNewFolderMode = 0700;

}  // namespace

extern "C" BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (lpSecurityAttributes != nullptr) return Fail(ERROR_NOT_SUPPORTED);
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
