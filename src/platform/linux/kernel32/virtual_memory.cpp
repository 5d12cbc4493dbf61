// VirtualAlloc and VirtualFree over anonymous mappings.
//
// A reservation is an inaccessible private mapping: address space without
// memory or commit charge. Committing pages makes them writable, which the
// kernel charges against its commit limit and RLIMIT_DATA, much as Windows
// charges the paging file; decommitting maps fresh inaccessible pages over
// them, which gives back both the memory and the charge. Reservations of
// 2 MiB or more start on a 2 MiB boundary and ask for transparent huge
// pages, so that committed 2 MiB steps can each be one page.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/support/step_trace.h"

namespace {

constexpr std::size_t kHugePage = 2 * 1024 * 1024;
// Sizes beyond this cannot be rounded up without overflowing.
constexpr std::size_t kLargestSize = SIZE_MAX >> 2;

struct Reservations {
    std::mutex lock;
    std::map<std::uintptr_t, std::size_t> lengths;  // by start
};

// Never destroyed: blocks may still be released by other objects'
// destructors while the program ends.
Reservations& AllReservations() {
    static auto* reservations = new Reservations;
    return *reservations;
}

std::size_t PageSize() {
    static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

std::uintptr_t RoundUp(std::uintptr_t value, std::size_t unit) {
    return (value + unit - 1) / unit * unit;
}

std::uintptr_t RoundDown(std::uintptr_t value, std::size_t unit) {
    return value / unit * unit;
}

BOOL FailFromErrno() {
    velto::platform::SetLastErrorFromErrno(errno);
    return FALSE;
}

// Maps length inaccessible bytes at a huge-page boundary by mapping one
// huge page more and giving back what lies before and after.
void* MapAligned(std::size_t length) {
    const std::size_t padded = length + kHugePage;
    void* raw = mmap(nullptr, padded, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = RoundUp(start, kHugePage);
    if (aligned > start) munmap(raw, aligned - start);
    const std::size_t tail = start + padded - (aligned + length);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    return reinterpret_cast<void*>(aligned);
}

void* Reserve(std::size_t size) {
    const std::size_t length = RoundUp(size, PageSize());
    const bool huge = length >= kHugePage;
    void* block = huge ? MapAligned(length) : mmap(nullptr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == nullptr || block == MAP_FAILED) return velto::platform::FailNull(ERROR_NOT_ENOUGH_MEMORY);
    if (huge) madvise(block, length, MADV_HUGEPAGE);  // a hint: without it the block is still usable
    Reservations& reservations = AllReservations();
    std::lock_guard<std::mutex> guard(reservations.lock);
    reservations.lengths.emplace(reinterpret_cast<std::uintptr_t>(block), length);
    return block;
}

// The whole pages that hold [address, address + size).
struct PageRange {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    bool huge = false;  // in a reservation that asked for huge pages
};

// Finds the pages of [address, address + size), when they all lie in one
// reservation.
bool FindPages(const void* address, std::size_t size, PageRange& pages) {
    const auto first = reinterpret_cast<std::uintptr_t>(address);
    pages.start = RoundDown(first, PageSize());
    pages.end = RoundUp(first + size, PageSize());
    Reservations& reservations = AllReservations();
    std::lock_guard<std::mutex> guard(reservations.lock);
    auto found = reservations.lengths.upper_bound(pages.start);
    if (found == reservations.lengths.begin()) return false;
    --found;
    pages.huge = found->second >= kHugePage;
    return pages.end <= found->first + found->second;
}

// The length of the reservation that starts at address; 0 for none.
std::size_t ReservationLength(const void* address) {
    Reservations& reservations = AllReservations();
    std::lock_guard<std::mutex> guard(reservations.lock);
    const auto found = reservations.lengths.find(reinterpret_cast<std::uintptr_t>(address));
    return found == reservations.lengths.end() ? 0 : found->second;
}

void* Commit(void* address, std::size_t size) {
    PageRange pages;
    if (!FindPages(address, size, pages)) return velto::platform::FailNull(ERROR_INVALID_PARAMETER);
    auto* start = reinterpret_cast<void*>(pages.start);
    if (mprotect(start, pages.end - pages.start, PROT_READ | PROT_WRITE) != 0) {
        FailFromErrno();
        return nullptr;
    }
    return start;
}

BOOL Decommit(void* address, std::size_t size) {
    PageRange pages;
    if (!FindPages(address, size, pages)) return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    const std::size_t length = pages.end - pages.start;
    void* fresh = mmap(reinterpret_cast<void*>(pages.start), length, PROT_NONE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (fresh == MAP_FAILED) return FailFromErrno();
    if (pages.huge) madvise(fresh, length, MADV_HUGEPAGE);  // new pages do not inherit the hint
    return TRUE;
}

BOOL Release(void* address) {
    Reservations& reservations = AllReservations();
    std::lock_guard<std::mutex> guard(reservations.lock);
    const auto found = reservations.lengths.find(reinterpret_cast<std::uintptr_t>(address));
    // Windows answers a block it never handed out this way too.
    if (found == reservations.lengths.end()) return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    munmap(address, found->second);
    char event[64];
    std::snprintf(event, sizeof(event), "virtual-release %zu", found->second);
    velto::platform::TraceStep(event);
    reservations.lengths.erase(found);
    return TRUE;
}

}  // namespace

// Reserves (MEM_RESERVE), commits pages of a reservation (MEM_COMMIT with
// an address), or both at once (MEM_COMMIT, with MEM_RESERVE or alone,
// without an address).
extern "C" LPVOID VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
    if (dwSize == 0) return velto::platform::FailNull(ERROR_INVALID_PARAMETER);
    if (dwSize > kLargestSize) return velto::platform::FailNull(ERROR_NOT_ENOUGH_MEMORY);
    const bool readWrite = flProtect == PAGE_READWRITE;
    if (flAllocationType == MEM_RESERVE && lpAddress == nullptr && (readWrite || flProtect == PAGE_NOACCESS)) {
        return Reserve(dwSize);
    }
    if (flAllocationType == MEM_COMMIT && lpAddress != nullptr && readWrite) return Commit(lpAddress, dwSize);
    if ((flAllocationType & ~MEM_RESERVE) != MEM_COMMIT || lpAddress != nullptr || !readWrite) {
        return velto::platform::FailNull(ERROR_INVALID_PARAMETER);
    }

    void* block = Reserve(dwSize);
    if (block == nullptr || Commit(block, dwSize) != nullptr) return block;
    const DWORD failure = GetLastError();
    Release(block);
    return velto::platform::FailNull(failure);
}

// Releases a whole reservation (MEM_RELEASE, size 0), or decommits pages of
// one (MEM_DECOMMIT; size 0 for all of it).
extern "C" BOOL VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
    if (dwFreeType == MEM_RELEASE && dwSize == 0) return Release(lpAddress);
    if (dwFreeType != MEM_DECOMMIT || dwSize > kLargestSize) return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    const std::size_t length = dwSize > 0 ? dwSize : ReservationLength(lpAddress);
    return length > 0 ? Decommit(lpAddress, length) : velto::platform::Fail(ERROR_INVALID_PARAMETER);
}
