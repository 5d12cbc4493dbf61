#include "release/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/posix_io.h"

namespace {

// The errno of the first failed write, or 0 when every byte was written.
int WriteAll(int descriptor, const std::uint8_t* data, std::size_t size) {
    std::size_t written = 0;
    return velto::platform::WriteFully(descriptor, data, size, written) ? 0 : errno;
}

}  // namespace

bool WriteWholeFile(const std::string& path, int openFlags, unsigned mode, const std::uint8_t* data,
                    std::size_t size, std::string& error) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | openFlags, mode);
    if (descriptor < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    int failure = WriteAll(descriptor, data, size);
    if (close(descriptor) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        unlink(path.c_str());
        error = path + ": " + std::strerror(failure);
        return false;
    }
    return true;
}
