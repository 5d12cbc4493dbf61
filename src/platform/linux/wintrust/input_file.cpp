#include "platform/linux/support/api_failure.h"
#include "platform/linux/wintrust/input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/posix_io.h"

namespace velto::platform::wintrust {

namespace {

bool DescribeRegularFile(int descriptor, InputFile& file) {
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode) || status.st_size < 0) {
        // A directory, device or FIFO is no file that can carry a signature.
        return velto::platform::Fail(ERROR_ACCESS_DENIED);
    }
    file.descriptor = descriptor;
    file.size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

}  // namespace

InputFile OpenInputFile(const std::string& utf8Path) {
    InputFile file;
    // O_NONBLOCK keeps a FIFO from stalling the open; it has no effect on the
    // reads of a regular file, the only kind accepted below.
    const int descriptor = open(utf8Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        SetLastErrorFromErrno(errno);
        return file;
    }
    if (!DescribeRegularFile(descriptor, file)) {
        close(descriptor);
        file.descriptor = -1;
    }
    return file;
}

bool AdoptInputFile(int descriptor, InputFile& file) {
    return DescribeRegularFile(descriptor, file);
}

void CloseInputFile(InputFile& file) {
    if (file.descriptor >= 0) {
        close(file.descriptor);
    }
    file.descriptor = -1;
    file.size = 0;
}

bool RangeInsideFile(const InputFile& file, std::uint64_t offset, std::uint64_t length) {
    return offset <= file.size && length <= file.size - offset;
}

bool ReadExactlyInto(const InputFile& file, std::uint64_t offset, std::size_t length, std::uint8_t* out) {
    if (file.descriptor < 0 || !RangeInsideFile(file, offset, length)) {
        return false;
    }
    // An error, or a file that shrank under us: either way the bytes the
    // caller counts on are not there.
    std::size_t done = 0;
    return ReadFullyAt(file.descriptor, out, length, static_cast<off_t>(offset), done) && done == length;
}

bool ReadExactly(const InputFile& file, std::uint64_t offset, std::size_t length, std::vector<std::uint8_t>& out) {
    if (!RangeInsideFile(file, offset, length)) {
        return false;
    }
    out.resize(length);
    return ReadExactlyInto(file, offset, length, out.data());
}

}  // namespace velto::platform::wintrust
