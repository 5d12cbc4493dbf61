#include "platform/linux/kernel32/wine_location.h"

namespace velto::platform {

// Debian's wine package installs its launcher here, as wine-binfmt uses it.
const char* WineLauncherPath() {
    return "/usr/bin/wine";
}

}  // namespace velto::platform
