#include "platform/linux/program_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/linux/little_endian.h"

namespace velto::platform {
namespace {

// The headers that decide whether Windows can start an image lie within
// its first pages; a header pointer beyond this is treated as damaged.
constexpr std::size_t kHeaderWindow = 64 * 1024;
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::uint16_t kMachineX64 = 0x8664;
constexpr std::uint16_t kMachineX86 = 0x014C;
constexpr std::uint16_t kOptionalMagicPe32 = 0x010B;
constexpr std::uint16_t kOptionalMagicPe32Plus = 0x020B;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;
constexpr std::uint16_t kSubsystemGui = 2;
constexpr std::uint16_t kSubsystemConsole = 3;
constexpr std::size_t kSubsystemOffset = 68;  // the same in PE32 and PE32+

std::uint16_t Read16(const std::vector<unsigned char>& bytes, std::size_t at) {
    return ReadLittle16(bytes.data() + at);
}

std::uint32_t Read32(const std::vector<unsigned char>& bytes, std::size_t at) {
    return ReadLittle32(bytes.data() + at);
}

bool ReadStart(const std::string& path, std::vector<unsigned char>& bytes, int& errnum) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        errnum = errno;
        return false;
    }
    bytes.resize(kHeaderWindow);
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = read(fd, bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            errnum = errno == EISDIR ? EACCES : errno;
            close(fd);
            return false;
        }
        if (count == 0) break;
        filled += static_cast<std::size_t>(count);
    }
    close(fd);
    bytes.resize(filled);
    return true;
}

bool IsStartablePe(const std::vector<unsigned char>& bytes) {
    if (bytes.size() < kPeOffsetField + 4) return false;
    const std::size_t pe = Read32(bytes, kPeOffsetField);
    if (pe > bytes.size() || bytes.size() - pe < 4 + kCoffHeaderSize) return false;
    if (bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 || bytes[pe + 3] != 0) return false;

    const std::size_t coff = pe + 4;
    const std::uint16_t machine = Read16(bytes, coff);
    const std::uint16_t optionalSize = Read16(bytes, coff + 16);
    const std::uint16_t characteristics = Read16(bytes, coff + 18);
    if ((characteristics & kExecutableImage) == 0 || (characteristics & kDll) != 0) return false;

    const std::size_t optional = coff + kCoffHeaderSize;
    if (optionalSize < kSubsystemOffset + 2 || bytes.size() - optional < optionalSize) return false;
    const std::uint16_t magic = Read16(bytes, optional);
    const bool matchingHeader = (machine == kMachineX64 && magic == kOptionalMagicPe32Plus) ||
                                (machine == kMachineX86 && magic == kOptionalMagicPe32);
    const std::uint16_t subsystem = Read16(bytes, optional + kSubsystemOffset);
    return matchingHeader && (subsystem == kSubsystemGui || subsystem == kSubsystemConsole);
}

}  // namespace

ProgramKind ClassifyProgram(const std::string& path, int& errnum) {
    std::vector<unsigned char> bytes;
    if (!ReadStart(path, bytes, errnum)) return ProgramKind::Unreadable;
    if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z') return ProgramKind::Native;
    return IsStartablePe(bytes) ? ProgramKind::WindowsProgram : ProgramKind::UnusableWindows;
}

}  // namespace velto::platform
