#include "platform/linux/support/step_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace velto::platform {

void TraceStep(const char* event) {
    static const char* const path = std::getenv("VELTO_STEP_TRACE");
    if (path == nullptr || *path == '\0') return;
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[160];
    const int length = std::snprintf(line, sizeof(line), "%lld %s\n",
                                     static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec, event);
    if (length <= 0 || length >= static_cast<int>(sizeof(line))) return;
    const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (file < 0) return;
    // One write per line, so lines from one run never interleave.
    const ssize_t written = write(file, line, static_cast<std::size_t>(length));
    static_cast<void>(written);
    close(file);
}

}  // namespace velto::platform
