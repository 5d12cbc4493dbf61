#include "platform/linux/kernel32/program_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/linux/support/pe_headers.h"
#include "platform/linux/support/posix_io.h"

namespace velto::platform {
namespace {

// The headers that decide whether Windows can start an image lie within
// its first pages; a header pointer beyond this is treated as damaged.
constexpr std::size_t kHeaderWindow = 64 * 1024;
constexpr std::uint16_t kMachineX64 = 0x8664;
constexpr std::uint16_t kMachineX86 = 0x014C;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;
constexpr std::uint16_t kSubsystemGui = 2;
constexpr std::uint16_t kSubsystemConsole = 3;
constexpr std::size_t kSubsystemOffset = 68;  // the same in PE32 and PE32+

bool ReadStart(const std::string& path, std::vector<unsigned char>& bytes, int& errnum) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        errnum = errno;
        return false;
    }
    bytes.resize(kHeaderWindow);
    std::size_t filled = 0;
    const bool readable = ReadFully(fd, bytes.data(), bytes.size(), filled);
    if (!readable) errnum = errno == EISDIR ? EACCES : errno;
    close(fd);
    if (!readable) return false;
    bytes.resize(filled);
    return true;
}

bool IsStartablePe(const PeHeaders& headers) {
    if ((headers.characteristics & kExecutableImage) == 0 || (headers.characteristics & kDll) != 0) return false;
    const bool matchingHeader = headers.machine == (headers.pe32Plus ? kMachineX64 : kMachineX86);
    std::uint16_t subsystem = 0;
    return matchingHeader && OptionalHeaderField16(headers, kSubsystemOffset, subsystem) &&
           (subsystem == kSubsystemGui || subsystem == kSubsystemConsole);
}

}  // namespace

ProgramKind ClassifyProgram(const std::string& path, int& errnum) {
    std::vector<unsigned char> bytes;
    if (!ReadStart(path, bytes, errnum)) return ProgramKind::Unreadable;
    const ReadBytesAt readStart = [&bytes](std::uint64_t offset, std::size_t length, std::uint8_t* out) {
        if (offset > bytes.size() || length > bytes.size() - offset) return false;
        std::copy_n(bytes.data() + offset, length, out);
        return true;
    };
    PeHeaders headers;
    switch (ReadPeHeaders(readStart, headers)) {
    case PeHeadersResult::kNotImage:
        return ProgramKind::Native;
    case PeHeadersResult::kMalformed:
        return ProgramKind::UnusableWindows;
    case PeHeadersResult::kImage:
        break;
    }
    return IsStartablePe(headers) ? ProgramKind::WindowsProgram : ProgramKind::UnusableWindows;
}

}  // namespace velto::platform
