// GetSystemWindowsDirectoryW: on Windows a folder that no variable of the
// environment decides and only administrators can change, whose Temp
// folder elevated programs may stage in. Linux has no elevation to guard;
// what keeps others away is that the folder is private to the running
// user, so it is the user's private folder (the one the temporary folder
// is in), by its canonical path, with a private Temp folder made in it.
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/kernel32/user_private_folder.h"

namespace {

using velto::platform::Fail;

// The private folder without links on its way, so that the path given out
// is the one a handle of a folder inside reports as its final path.
bool CanonicalPrivateFolder(std::string& folder) {
    std::string found;
    if (!velto::platform::FindPrivateTempFolder(found)) return false;
    char canonical[PATH_MAX];
    if (realpath(found.c_str(), canonical) == nullptr) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    folder = canonical;
    return velto::platform::IsPrivateFolder(folder) || Fail(ERROR_ACCESS_DENIED);
}

bool EnsurePrivateTempFolder(const std::string& windowsFolder) {
    const std::string temp = windowsFolder + "/Temp";
    if (mkdir(temp.c_str(), 0700) != 0 && errno != EEXIST) {
        velto::platform::SetLastErrorFromErrno(errno);
        return false;
    }
    return velto::platform::IsPrivateFolder(temp) || Fail(ERROR_ACCESS_DENIED);
}

}  // namespace

extern "C" UINT GetSystemWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
    std::string folder;
    std::wstring wide;
    if (!CanonicalPrivateFolder(folder) || !EnsurePrivateTempFolder(folder)) return 0;
    if (!velto::platform::Utf8PathToWidePath(folder, wide) || wide.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    return velto::platform::CopyTextOut(wide, lpBuffer, uSize);
}
