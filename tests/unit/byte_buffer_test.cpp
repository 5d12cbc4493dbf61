// ByteBuffer's storage, reserved once and committed as it grows, against
// the scripted VirtualAlloc and VirtualFree of fake_winhttp.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "base/byte_buffer.h"
#include "fakes/fake_winhttp.h"

namespace {

class ByteBufferStorage : public ::testing::Test {
protected:
    void SetUp() override { ResetHttpScript(); }
    void TearDown() override { ResetHttpScript(); }
};

TEST_F(ByteBufferStorage, GrowsInPlaceAndKeepsItsBytes) {
    ByteBuffer bytes;
    ASSERT_TRUE(bytes.ReserveRoom((std::size_t{5} << 20) + 3));
    const std::uint8_t* start = bytes.data();
    for (std::size_t size : {std::size_t{100}, std::size_t{1} << 20, (std::size_t{5} << 20) + 3}) {
        const std::size_t before = bytes.size();
        ASSERT_TRUE(bytes.ResizeWithinRoom(size));
        for (std::size_t i = before; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    }
    EXPECT_EQ(bytes.data(), start) << "the bytes moved";
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], i % 251) << i;
    EXPECT_FALSE(bytes.ResizeWithinRoom(bytes.capacity() + 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(bytes.size(), (std::size_t{5} << 20) + 3);
    ByteBuffer().swap(bytes);
    EXPECT_EQ(bytes.capacity(), 0u);
    EXPECT_EQ(HttpScript().calls.back(), L"release");
}

TEST_F(ByteBufferStorage, CopiesAndAssignmentsHoldTheirOwnBytes) {
    ByteBuffer original{'M', 'Z', 0};
    ByteBuffer copy = original;
    copy[0] = 'X';
    EXPECT_EQ(original, (ByteBuffer{'M', 'Z', 0}));
    const std::string text = "text";
    copy.assign(text.begin(), text.end());
    EXPECT_EQ(std::string(copy.begin(), copy.end()), "text");
    copy.assign(3, 0x42);
    EXPECT_EQ(copy, ByteBuffer(3, 0x42));
    EXPECT_EQ(copy.capacity(), 3u);
    EXPECT_NE(copy, original);
}

TEST_F(ByteBufferStorage, MemoryThatCannotBeHadIsAResultOrTheStandardAllocationFailure) {
    ByteBuffer bytes{1, 2, 3};
    HttpScript().reserveError = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_FALSE(bytes.ReserveRoom(4096));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(bytes.capacity(), 0u);
    EXPECT_THROW(ByteBuffer(16), std::bad_alloc);

    HttpScript().reserveError = 0;
    HttpScript().commitError = ERROR_NOT_ENOUGH_MEMORY;
    HttpScript().commitsBeforeError = HttpScript().commits;
    const std::size_t reservations = std::count(HttpScript().calls.begin(), HttpScript().calls.end(), L"reserve 16");
    EXPECT_THROW(ByteBuffer(16), std::bad_alloc);
    EXPECT_EQ(HttpScript().calls.back(), L"release") << "a failed commit gives its reservation back";
    EXPECT_EQ(std::count(HttpScript().calls.begin(), HttpScript().calls.end(), L"reserve 16"), reservations + 1);
}

}  // namespace
