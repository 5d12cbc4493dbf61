#include "base/byte_buffer.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/win_api.h"

namespace {

// Memory is committed this many bytes at a time: a 256 MiB body takes 128
// calls, and each step spans whole 2 MiB pages where the system uses them.
constexpr std::size_t kCommitStep = std::size_t{2} << 20;
// The page of x86-64, the unit in which memory is committed and given back.
constexpr std::size_t kPageSize = 4096;

std::size_t RoundUp(std::size_t value, std::size_t unit) {
    return (value + unit - 1) / unit * unit;
}

}  // namespace

ByteBuffer::ByteBuffer(std::size_t count, std::uint8_t value) {
    // Sized apart, so that a failure releases what was reserved.
    ByteBuffer sized;
    if (!sized.ReserveRoom(count) || !sized.ResizeWithinRoom(count)) throw std::bad_alloc();
    swap(sized);
    // Freshly committed pages already read as zero.
    if (value != 0 && count > 0) std::memset(bytes_, value, count);
}

ByteBuffer::ByteBuffer(std::initializer_list<std::uint8_t> bytes) : ByteBuffer(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), bytes_);
}

ByteBuffer::ByteBuffer(const ByteBuffer& other) : ByteBuffer(other.size()) {
    std::copy(other.begin(), other.end(), bytes_);
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept {
    swap(other);
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer other) noexcept {
    swap(other);
    return *this;
}

ByteBuffer::~ByteBuffer() {
    if (bytes_ != nullptr) VirtualFree(bytes_, 0, MEM_RELEASE);
}

void ByteBuffer::swap(ByteBuffer& other) noexcept {
    std::swap(bytes_, other.bytes_);
    std::swap(size_, other.size_);
    std::swap(room_, other.room_);
    std::swap(committed_, other.committed_);
}

bool ByteBuffer::ReserveRoom(std::uint64_t limit) {
    ByteBuffer().swap(*this);
    if (limit == 0) return true;
    // Past what size_t holds, VirtualAlloc fails as for any other size it
    // cannot reserve.
    const auto bytes = static_cast<SIZE_T>(std::min<std::uint64_t>(limit, std::numeric_limits<SIZE_T>::max()));
    void* block = VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
    if (block == nullptr) return false;
    bytes_ = static_cast<std::uint8_t*>(block);
    room_ = bytes;
    return true;
}

bool ByteBuffer::ResizeWithinRoom(std::size_t count) {
    if (count > room_) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (count > committed_) {
        const std::size_t target = std::min(RoundUp(count, kCommitStep), room_);
        if (VirtualAlloc(bytes_ + committed_, target - committed_, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
            return false;
        }
        committed_ = target;
    }
    size_ = count;
    return true;
}

void ByteBuffer::ReleaseUnusedMemory() noexcept {
    const std::size_t kept = RoundUp(size_, kPageSize);
    if (kept >= committed_) return;
    if (VirtualFree(bytes_ + kept, committed_ - kept, MEM_DECOMMIT)) committed_ = kept;
}
