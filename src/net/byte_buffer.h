// The growable array that receives a download.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

// Large blocks come straight from the system's virtual memory rather than
// from the heap: the system can back them with large pages, so that filling
// a 256 MiB buffer costs hundreds of page faults rather than tens of
// thousands. Throws std::bad_alloc when the memory cannot be had.
void* AllocateDownloadStorage(std::size_t bytes);
void ReleaseDownloadStorage(void* block, std::size_t bytes) noexcept;

// Growing the buffer leaves its new bytes uninitialised: the read that
// follows writes every one of them.
template <typename T>
struct DownloadAllocator {
    using value_type = T;

    DownloadAllocator() noexcept = default;
    template <typename U>
    DownloadAllocator(const DownloadAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(AllocateDownloadStorage(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) noexcept { ReleaseDownloadStorage(block, count * sizeof(T)); }

    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const DownloadAllocator&, const DownloadAllocator&) noexcept { return true; }
};

using ByteBuffer = std::vector<std::uint8_t, DownloadAllocator<std::uint8_t>>;
