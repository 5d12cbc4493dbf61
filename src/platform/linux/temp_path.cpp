// GetTempPathW: a folder that only the current user can write to, so that
// no other local user can plant, replace or link a file staged in it. That
// is $XDG_RUNTIME_DIR when it is private to the user, otherwise a per-user
// folder under $TMPDIR or /tmp that is made with mode 0700 and whose owner
// and mode are checked before every use.
#include <string>

#include "platform/linux/kernel32.h"
#include "platform/linux/text_conversion.h"
#include "platform/linux/user_private_folder.h"

namespace {

// The folder as a Windows path: backslashes, ending in one. A name that
// holds a backslash itself could not be turned back, so it is refused.
bool ToWindowsFolderPath(const std::string& folder, std::wstring& wide) {
    return velto::platform::Utf8PathToWidePath(folder + "/", wide) && !wide.empty();
}

}  // namespace

extern "C" DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    std::string folder;
    if (!velto::platform::FindPrivateTempFolder(folder)) return 0;
    std::wstring wide;
    if (!ToWindowsFolderPath(folder, wide)) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    return velto::platform::CopyTextOut(wide, lpBuffer, nBufferLength);
}
