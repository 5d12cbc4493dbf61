// What Windows reports of a file from the facts Linux keeps: its attributes
// and its times.
#pragma once

#include <sys/stat.h>

#include "platform/linux/kernel32.h"

namespace velto::platform {

// A folder, a link (which Windows would have as a reparse point), or a
// plain file.
DWORD AttributesOf(mode_t mode);

// A FILETIME: 100-nanosecond units since 1601.
FILETIME ToFileTime(const struct statx_timestamp& time);

// The creation time: the birth time where it was recorded, the last
// status change otherwise, which is the closest.
FILETIME CreationTimeOf(const struct statx& info);

}  // namespace velto::platform
