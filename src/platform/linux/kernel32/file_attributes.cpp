#include "platform/linux/kernel32/file_attributes.h"

namespace velto::platform {
namespace {

// Between 1601 and 1970, in the 100-nanosecond units of a FILETIME.
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;
constexpr long long kFileTimeUnitsPerSecond = 10000000LL;

}  // namespace

DWORD AttributesOf(mode_t mode) {
    if (S_ISDIR(mode)) return FILE_ATTRIBUTE_DIRECTORY;
    if (S_ISLNK(mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
    return FILE_ATTRIBUTE_NORMAL;
}

FILETIME ToFileTime(const struct statx_timestamp& time) {
    const long long seconds = time.tv_sec + kSecondsFrom1601To1970;
    const auto units =
        static_cast<unsigned long long>(seconds < 0 ? 0 : seconds * kFileTimeUnitsPerSecond + time.tv_nsec / 100);
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

FILETIME CreationTimeOf(const struct statx& info) {
    return ToFileTime((info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_ctime);
}

}  // namespace velto::platform
