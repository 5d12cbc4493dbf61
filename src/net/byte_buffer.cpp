#include "net/byte_buffer.h"

#include "platform/win_api.h"

namespace {

// Below this the heap serves as well, and wastes no pages.
constexpr std::size_t kLargeBlock = 1 << 20;

}  // namespace

void* AllocateDownloadStorage(std::size_t bytes) {
    if (bytes < kLargeBlock) return ::operator new(bytes);
    void* block = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void ReleaseDownloadStorage(void* block, std::size_t bytes) noexcept {
    if (bytes < kLargeBlock) {
        ::operator delete(block);
    } else {
        VirtualFree(block, 0, MEM_RELEASE);
    }
}
