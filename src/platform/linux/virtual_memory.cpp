// VirtualAlloc and VirtualFree for committed read-write blocks. Blocks are
// aligned to, and sized in, 2 MiB so that the kernel can back them with
// transparent huge pages, which it is asked to do.
#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/linux/error_mapping.h"
#include "platform/linux/kernel32.h"

namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;

struct Mappings {
    std::mutex lock;
    std::map<void*, std::size_t> lengths;
};

// Never destroyed: blocks may still be released by other objects' destructors
// while the program ends.
Mappings& Blocks() {
    static Mappings* mappings = new Mappings;
    return *mappings;
}

std::size_t RoundUp(std::size_t value, std::size_t unit) {
    return (value + unit - 1) / unit * unit;
}

// Maps length bytes at a huge-page boundary by mapping one huge page more
// and giving back what lies before and after the aligned part.
void* MapAligned(std::size_t length) {
    const std::size_t padded = length + kHugePage;
    void* raw = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = RoundUp(start, kHugePage);
    if (aligned > start) munmap(raw, aligned - start);
    const std::size_t tail = start + padded - (aligned + length);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

extern "C" LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
    if (lpAddress != nullptr || dwSize == 0 || flAllocationType != (MEM_COMMIT | MEM_RESERVE) ||
        flProtect != PAGE_READWRITE || dwSize > (SIZE_MAX >> 2)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::size_t length = RoundUp(dwSize, kHugePage);
    void* block = MapAligned(length);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    madvise(block, length, MADV_HUGEPAGE);  // a hint: without it the block is still usable
    Mappings& blocks = Blocks();
    std::lock_guard<std::mutex> guard(blocks.lock);
    blocks.lengths.emplace(block, length);
    return block;
}

extern "C" BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    if (dwFreeType != MEM_RELEASE || dwSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Mappings& blocks = Blocks();
    std::lock_guard<std::mutex> guard(blocks.lock);
    const auto found = blocks.lengths.find(lpAddress);
    if (found == blocks.lengths.end()) {
        // Windows answers a block it never handed out this way too.
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    munmap(found->first, found->second);
    blocks.lengths.erase(found);
    return TRUE;
}
