// The array of bytes that receives a download.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>

// Its storage is one reservation of address space, made once for the most
// the buffer may hold and committed only as far as its bytes reach. Growing
// within the reservation never moves the bytes, so a body is never copied,
// and the reservation caps the memory the buffer can take.
//
// The pages are the system's ordinary ones. VirtualAlloc gives large pages
// on Windows only with MEM_LARGE_PAGES and the lock-pages privilege, which
// are not used; the Linux layer asks the kernel for transparent huge pages,
// which it grants when it can.
class ByteBuffer {
public:
    using value_type = std::uint8_t;
    using iterator = std::uint8_t*;
    using const_iterator = const std::uint8_t*;

    ByteBuffer() noexcept = default;
    // These forms hold exactly their bytes and, like the standard
    // containers, throw std::bad_alloc when the memory cannot be had.
    explicit ByteBuffer(std::size_t count, std::uint8_t value = 0);
    ByteBuffer(std::initializer_list<std::uint8_t> bytes);
    ByteBuffer(const ByteBuffer& other);
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer other) noexcept;
    ~ByteBuffer();

    // Drops the bytes and the storage, then reserves room for up to limit
    // bytes without committing any. False, with the thread's last error
    // set and the buffer empty, when the address space cannot be had.
    bool ReserveRoom(std::uint64_t limit);
    // Sets the size to count bytes, at most the room, committing memory in
    // steps as it grows. New bytes hold no particular value. False, with
    // the thread's last error set and the size unchanged, when memory
    // cannot be committed.
    bool ResizeWithinRoom(std::size_t count);
    // Decommits what lies past the pages that hold the bytes.
    void ReleaseUnusedMemory() noexcept;

    template <std::forward_iterator Iterator>
    void assign(Iterator first, Iterator last) {
        ByteBuffer copy(static_cast<std::size_t>(std::distance(first, last)));
        std::copy(first, last, copy.begin());
        swap(copy);
    }
    void assign(std::size_t count, std::uint8_t value) { ByteBuffer(count, value).swap(*this); }
    void swap(ByteBuffer& other) noexcept;

    std::uint8_t* data() noexcept { return bytes_; }
    const std::uint8_t* data() const noexcept { return bytes_; }
    std::size_t size() const noexcept { return size_; }
    // The room reserved: the most the buffer can hold without new storage.
    std::size_t capacity() const noexcept { return room_; }
    bool empty() const noexcept { return size_ == 0; }
    iterator begin() noexcept { return bytes_; }
    iterator end() noexcept { return bytes_ + size_; }
    const_iterator begin() const noexcept { return bytes_; }
    const_iterator end() const noexcept { return bytes_ + size_; }
    std::uint8_t& operator[](std::size_t index) noexcept { return bytes_[index]; }
    const std::uint8_t& operator[](std::size_t index) const noexcept { return bytes_[index]; }

    friend bool operator==(const ByteBuffer& left, const ByteBuffer& right) noexcept {
        return std::equal(left.begin(), left.end(), right.begin(), right.end());
    }

private:
    std::uint8_t* bytes_ = nullptr;  // the reservation's start; null when none
    std::size_t size_ = 0;
    std::size_t room_ = 0;
    std::size_t committed_ = 0;  // bytes from the start that may be used
};
