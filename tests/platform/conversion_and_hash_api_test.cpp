// MultiByteToWideChar, the BCrypt provider and the loader as the layer
// offers them, beyond what the system's own calls exercise.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win_api.h"
#ifndef _WIN32
#include "platform/linux/support/handle_table.h"
#endif

namespace {

TEST(MultiByteToWideChar, SizeQueryThenConversionIntoExactlyThatSize) {
    const char text[] = "a\xF0\x9F\x98\x80";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, 5, nullptr, 0), 3);
    wchar_t out[3] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, 5, out, 3), 3);
    EXPECT_EQ(out[1], static_cast<wchar_t>(0xD83D));
    EXPECT_EQ(out[2], static_cast<wchar_t>(0xDE00));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, 5, out, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(MultiByteToWideChar, TerminatedInputCountsItsTerminator) {
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
}

TEST(MultiByteToWideChar, IllFormedInputFailsOnlyWhenAskedToBeStrict) {
    const char text[] = "a\xC0\xAF" "b";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, 4, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    wchar_t out[4] = {};
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 4, out, 4), 4);
    EXPECT_EQ(out[1], static_cast<wchar_t>(0xFFFD));
    EXPECT_EQ(out[3], L'b');
}

TEST(MultiByteToWideChar, RefusesWhatItDoesNotSupport) {
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0x80, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a", 0, nullptr, 0), 0);
}

TEST(BCrypt, ReportsItsPropertiesAndHashes) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    ASSERT_EQ(BCryptOpenAlgorithmProvider(&provider, L"SHA256", nullptr, 0), 0);
    DWORD objectLength = 0;
    DWORD digestLength = 0;
    ULONG size = 0;
    EXPECT_EQ(BCryptGetProperty(provider, L"ObjectLength", reinterpret_cast<PUCHAR>(&objectLength), 4, &size, 0), 0);
    EXPECT_EQ(BCryptGetProperty(provider, L"HashDigestLength", reinterpret_cast<PUCHAR>(&digestLength), 4, &size, 0), 0);
    EXPECT_EQ(digestLength, 32u);
    EXPECT_LT(BCryptGetProperty(provider, L"BlockLength", reinterpret_cast<PUCHAR>(&digestLength), 4, &size, 0), 0);

    std::vector<std::uint8_t> object(objectLength);
    BCRYPT_HASH_HANDLE hash = nullptr;
    EXPECT_LT(BCryptCreateHash(provider, &hash, object.data(), objectLength - 1, nullptr, 0, 0), 0);
    ASSERT_EQ(BCryptCreateHash(provider, &hash, object.data(), objectLength, nullptr, 0, 0), 0);
    std::uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(BCryptHashData(hash, abc, 3, 0), 0);
    std::uint8_t digest[32] = {};
    EXPECT_LT(BCryptFinishHash(hash, digest, 31, 0), 0);
    EXPECT_EQ(BCryptFinishHash(hash, digest, 32, 0), 0);
    EXPECT_EQ(digest[0], 0xBA);
    EXPECT_EQ(digest[31], 0xAD);
    EXPECT_LT(BCryptHashData(hash, abc, 3, 0), 0);  // a finished hash takes no more data
    EXPECT_EQ(BCryptDestroyHash(hash), 0);
    EXPECT_EQ(BCryptCloseAlgorithmProvider(provider, 0), 0);
}

TEST(BCrypt, UnknownAlgorithmIsNotFound) {
    BCRYPT_ALG_HANDLE provider = reinterpret_cast<BCRYPT_ALG_HANDLE>(1);
    EXPECT_EQ(BCryptOpenAlgorithmProvider(&provider, L"MD5", nullptr, 0), STATUS_NOT_FOUND);
    EXPECT_EQ(provider, nullptr);
    EXPECT_LT(BCryptCloseAlgorithmProvider(nullptr, 0), 0);
}

}  // namespace

namespace {

TEST(VirtualMemory, CommittedBlocksAreWritableUntilReleased) {
    const SIZE_T size = 3 * 1024 * 1024 + 17;
    auto* block = static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 0);  // fresh pages read as zero
    block[0] = 1;
    block[size - 1] = 2;
    EXPECT_EQ(block[size - 1], 2);
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace

// The loader's choices of the Linux layer; Windows loads any DLL by path.
#ifndef _WIN32
namespace {

// Only the components the layer implements are in its system folder, and
// only by their bare names: nothing is ever loaded from a path.
struct LibraryCase {
    const wchar_t* name;
    DWORD flags;
    DWORD error;  // ERROR_SUCCESS: loaded
};

class LoadLibrary : public ::testing::TestWithParam<LibraryCase> {};

TEST_P(LoadLibrary, FindsOnlyTheSystemFolder) {
    const std::size_t handles = velto::platform::OpenHandleCount();
    HMODULE module = LoadLibraryExW(GetParam().name, nullptr, GetParam().flags);
    if (GetParam().error != ERROR_SUCCESS) {
        EXPECT_EQ(module, nullptr);
        EXPECT_EQ(GetLastError(), GetParam().error);
        return;
    }
    ASSERT_NE(module, nullptr);
    EXPECT_FALSE(CloseHandle(module));  // a module is not a kernel object
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(velto::platform::OpenHandleCount(), handles);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LoadLibrary,
    ::testing::Values(LibraryCase{L"winhttp.dll", LOAD_LIBRARY_SEARCH_SYSTEM32, ERROR_SUCCESS},
                      LibraryCase{L"BCRYPT.DLL", LOAD_LIBRARY_SEARCH_SYSTEM32, ERROR_SUCCESS},
                      LibraryCase{L"wintrust", 0, ERROR_SUCCESS},
                      LibraryCase{L"crypt32.dll", 0, ERROR_SUCCESS},
                      LibraryCase{L"version.dll", LOAD_LIBRARY_SEARCH_SYSTEM32, ERROR_MOD_NOT_FOUND},
                      LibraryCase{L".\\winhttp.dll", LOAD_LIBRARY_SEARCH_SYSTEM32, ERROR_MOD_NOT_FOUND},
                      LibraryCase{L"C:\\Windows\\System32\\winhttp.dll", 0, ERROR_MOD_NOT_FOUND},
                      LibraryCase{L"/usr/lib/winhttp.dll", 0, ERROR_MOD_NOT_FOUND},
                      LibraryCase{L"", 0, ERROR_MOD_NOT_FOUND},
                      LibraryCase{L"winhttp.dll", 0x00000100 /* LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR */,
                                  ERROR_INVALID_PARAMETER}));

TEST(SetDefaultDllDirectories, AcceptsOnlyTheSystemFolder) {
    EXPECT_TRUE(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
    EXPECT_FALSE(SetDefaultDllDirectories(0x00001000));  // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
#endif
