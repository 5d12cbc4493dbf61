#include "platform/linux/support/posix_io.h"

#include <unistd.h>

#include <cerrno>

namespace velto::platform {
namespace {

// Repeats transfer(from, remaining) until count bytes have moved. A call
// that moves nothing ends the loop: the end of the file for a read, a full
// file for a write.
template <typename Transfer>
bool TransferFully(std::size_t count, std::size_t& done, Transfer transfer) {
    done = 0;
    while (done < count) {
        const ssize_t moved = transfer(done, count - done);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) return false;
        if (moved == 0) break;
        done += static_cast<std::size_t>(moved);
    }
    return true;
}

}  // namespace

bool ReadFully(int fd, void* buffer, std::size_t count, std::size_t& done) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    return TransferFully(count, done,
                         [&](std::size_t from, std::size_t remaining) { return read(fd, bytes + from, remaining); });
}

bool ReadFullyAt(int fd, void* buffer, std::size_t count, off_t offset, std::size_t& done) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    return TransferFully(count, done, [&](std::size_t from, std::size_t remaining) {
        return pread(fd, bytes + from, remaining, offset + static_cast<off_t>(from));
    });
}

bool WriteFully(int fd, const void* buffer, std::size_t count, std::size_t& done) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    if (!TransferFully(count, done, [&](std::size_t from, std::size_t remaining) {
            return write(fd, bytes + from, remaining);
        })) {
        return false;
    }
    if (done == count) return true;
    errno = ENOSPC;
    return false;
}

}  // namespace velto::platform
