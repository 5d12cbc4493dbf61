// Points the layer at a Wine launcher of the test's choosing.
#include <string>

#include "platform/linux/kernel32/wine_location.h"

std::string fakeWineLauncher = "/nonexistent/wine";

namespace velto::platform {

const char* WineLauncherPath() {
    return fakeWineLauncher.c_str();
}

}  // namespace velto::platform
