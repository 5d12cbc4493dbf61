// The Windows error text: trimming of system texts and the decimal
// fallback.
#include <gtest/gtest.h>

#include <map>

#include "base/scoped_owner.h"
#include "base/windows_error_text.h"
#include "platform/win_api.h"

extern std::map<DWORD, std::wstring> fakeMessageTable;
extern int fakeLocalFreeCalls;
extern DWORD fakeLastFormatFlags;

namespace {

struct DescribeCase {
    const char* name;
    std::uint32_t code;
    std::wstring systemText;  // empty: the table has no entry
    std::wstring expected;
};

class DescribeWindowsErrorCases : public ::testing::TestWithParam<DescribeCase> {};

TEST_P(DescribeWindowsErrorCases, TrimsTheEndOrFallsBackToTheCode) {
    fakeMessageTable.clear();
    fakeLocalFreeCalls = 0;
    if (!GetParam().systemText.empty()) {
        fakeMessageTable[GetParam().code] = GetParam().systemText;
    }
    EXPECT_EQ(DescribeWindowsError(GetParam().code), GetParam().expected);
    EXPECT_EQ(fakeLastFormatFlags, 0x1300u);
    EXPECT_EQ(fakeLocalFreeCalls, GetParam().systemText.empty() ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescribeWindowsErrorCases,
    ::testing::Values(
        DescribeCase{"full_stop_kept", 5, L"Access is denied.\r\n", L"Access is denied."},
        DescribeCase{"mixed_tail", 2, L"Not found \r\n \n\r  ", L"Not found"},
        DescribeCase{"tab_kept", 3, L"Text\t\r\n", L"Text\t"},
        DescribeCase{"inner_and_leading_kept", 4, L"  a\r\nb \n", L"  a\r\nb"},
        DescribeCase{"only_blanks", 6, L" \r\n ", L""},
        DescribeCase{"fallback", 5, L"", L"Windows error 5"},
        DescribeCase{"fallback_zero", 0, L"", L"Windows error 0"},
        DescribeCase{"fallback_unsigned", 0x80092009u, L"", L"Windows error 2148081673"},
        DescribeCase{"fallback_max", 0xFFFFFFFFu, L"", L"Windows error 4294967295"},
        DescribeCase{"winhttp_code", 12029, L"", L"Windows error 12029"}),
    [](const ::testing::TestParamInfo<DescribeCase>& caseInfo) { return std::string(caseInfo.param.name); });

// A failure path sets the last error and returns; its owners close their
// handles on the way out, and the caller must still read the failure's code.
TEST(LastError, SurvivesTheOwnersClosingAndReachesTheMessage) {
    fakeMessageTable.clear();
    fakeMessageTable[ERROR_ACCESS_DENIED] = L"Access is denied.\r\n";
    wchar_t folder[MAX_PATH + 1] = {};
    ASSERT_NE(GetSystemWindowsDirectoryW(folder, MAX_PATH + 1), 0u);
    const std::wstring path =
        std::wstring(folder) + L"\\Temp\\velto-last-error-" + std::to_wstring(GetCurrentProcessId());
    {
        const ScopedFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        SetLastError(ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LastErrorMessage(L"Could not: "), L"Could not: Access is denied.");
    const ScopedFileHandle file(
        CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_DISPOSITION_INFO disposition = {TRUE};
    EXPECT_TRUE(SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition)));
}

}  // namespace
