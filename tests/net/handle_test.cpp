// WinHTTP handles as Windows checks them: three kinds, each closed once,
// used only where its kind and state fit.
#include <gtest/gtest.h>

#include "platform/linux/winhttp/internet_objects.h"
#include "platform/win_api.h"

namespace {

using velto::platform::winhttp::OpenInternetHandleCount;

struct Handles {
    HINTERNET session = WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = WinHttpConnect(session, L"localhost", 1, 0);
    HINTERNET request =
        WinHttpOpenRequest(connection, L"GET", L"/x", nullptr, nullptr, nullptr, WINHTTP_FLAG_SECURE);
    ~Handles() {
        WinHttpCloseHandle(request);
        WinHttpCloseHandle(connection);
        WinHttpCloseHandle(session);
    }
};

DWORD FailureOf(BOOL result) {
    return result ? 0 : GetLastError();
}

DWORD FailureOf(HINTERNET handle) {
    return handle != nullptr ? 0 : GetLastError();
}

TEST(HandleTest, EveryKindOpensAndCloses) {
    const std::size_t before = OpenInternetHandleCount();
    {
        Handles handles;
        ASSERT_NE(handles.request, nullptr);
        EXPECT_EQ(OpenInternetHandleCount(), before + 3);
    }
    EXPECT_EQ(OpenInternetHandleCount(), before);
}

TEST(HandleTest, WrongKindIsRefused) {
    Handles handles;
    EXPECT_EQ(FailureOf(WinHttpConnect(handles.request, L"localhost", 1, 0)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));
    EXPECT_EQ(FailureOf(WinHttpOpenRequest(handles.session, L"GET", L"/", nullptr, nullptr, nullptr, 0)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));
    EXPECT_EQ(FailureOf(WinHttpSendRequest(handles.connection, nullptr, 0, nullptr, 0, 0, 0)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));
    DWORD available = 0;
    EXPECT_EQ(FailureOf(WinHttpQueryDataAvailable(handles.session, &available)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE));
}

TEST(HandleTest, UnknownOrClosedHandleIsInvalid) {
    int notAHandle = 0;
    EXPECT_EQ(FailureOf(WinHttpCloseHandle(nullptr)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(FailureOf(WinHttpCloseHandle(&notAHandle)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HINTERNET session = WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    ASSERT_TRUE(WinHttpCloseHandle(session));
    EXPECT_EQ(FailureOf(WinHttpCloseHandle(session)), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(HandleTest, ParentMayCloseBeforeItsChildren) {
    HINTERNET session = WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = WinHttpConnect(session, L"localhost", 1, 0);
    ASSERT_TRUE(WinHttpCloseHandle(session));
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", L"/", nullptr, nullptr, nullptr, 0);
    EXPECT_NE(request, nullptr);
    EXPECT_TRUE(WinHttpCloseHandle(request));
    EXPECT_TRUE(WinHttpCloseHandle(connection));
}

TEST(HandleTest, RequestStepsInOrderOnly) {
    Handles handles;
    DWORD status = 0;
    DWORD size = sizeof(status);
    EXPECT_EQ(FailureOf(WinHttpReceiveResponse(handles.request, nullptr)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
    EXPECT_EQ(FailureOf(WinHttpQueryHeaders(handles.request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                            nullptr, &status, &size, nullptr)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
    DWORD read = 0;
    std::uint8_t byte = 0;
    EXPECT_EQ(FailureOf(WinHttpReadData(handles.request, &byte, 1, &read)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
}

// The layer makes a plain GET with WinHTTP's defaults and refuses anything
// else rather than half doing it.
TEST(HandleTest, OnlyThePlainGetIsOffered) {
    Handles handles;
    LPCWSTR types[] = {L"*/*", nullptr};
    const DWORD unsupported = ERROR_NOT_SUPPORTED;
    EXPECT_EQ(FailureOf(WinHttpOpenRequest(handles.connection, L"HEAD", L"/", nullptr, nullptr, nullptr, 0)),
              unsupported);
    EXPECT_EQ(FailureOf(WinHttpOpenRequest(handles.connection, nullptr, L"/", L"HTTP/1.1", nullptr, nullptr, 0)),
              unsupported);
    EXPECT_EQ(FailureOf(WinHttpOpenRequest(handles.connection, nullptr, L"/", nullptr, L"https://a/", nullptr, 0)),
              unsupported);
    EXPECT_EQ(FailureOf(WinHttpOpenRequest(handles.connection, nullptr, L"/", nullptr, nullptr, types, 0)),
              unsupported);
    EXPECT_EQ(FailureOf(WinHttpSendRequest(handles.request, L"X-A: b", static_cast<DWORD>(-1), nullptr, 0, 0, 0)),
              unsupported);
}

TEST(HandleTest, ConnectionRefusedOnSendThenNoSecondSend) {
    Handles handles;  // port 1 on localhost: nothing listens there
    EXPECT_EQ(FailureOf(WinHttpSendRequest(handles.request, nullptr, 0, nullptr, 0, 0, 0)),
              static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
    EXPECT_EQ(FailureOf(WinHttpSendRequest(handles.request, nullptr, 0, nullptr, 0, 0, 0)),
              static_cast<DWORD>(ERROR_WINHTTP_INCORRECT_HANDLE_STATE));
}

struct OptionCase {
    DWORD option;
    DWORD value;
    DWORD length;
    DWORD error;  // 0: accepted
};

void PrintTo(const OptionCase& c, std::ostream* out) {
    *out << c.option << "=" << c.value << "/" << c.length;
}

class OptionTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionTest, RedirectPolicyOnly) {
    Handles handles;
    DWORD value = GetParam().value;
    EXPECT_EQ(FailureOf(WinHttpSetOption(handles.request, GetParam().option, &value, GetParam().length)),
              GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Options, OptionTest,
                         ::testing::Values(OptionCase{WINHTTP_OPTION_REDIRECT_POLICY, 1, 4, 0},
                                           OptionCase{WINHTTP_OPTION_REDIRECT_POLICY, 2, 4, 0},
                                           OptionCase{WINHTTP_OPTION_REDIRECT_POLICY, 3, 4, ERROR_INVALID_PARAMETER},
                                           OptionCase{WINHTTP_OPTION_REDIRECT_POLICY, 1, 2, ERROR_INSUFFICIENT_BUFFER},
                                           OptionCase{12345, 1, 4, ERROR_WINHTTP_INVALID_OPTION}),
                         [](const auto& naming) { return "Case" + std::to_string(naming.index); });

TEST(SessionTest, TimeoutsBelowMinusOneAreRefused) {
    HINTERNET session = WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    EXPECT_TRUE(WinHttpSetTimeouts(session, -1, 0, 1, 30000));
    EXPECT_EQ(FailureOf(WinHttpSetTimeouts(session, 0, -2, 0, 0)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    WinHttpCloseHandle(session);
}

TEST(SessionTest, UnknownAccessTypeNamedProxyAndAsyncAreRefused) {
    EXPECT_EQ(FailureOf(WinHttpOpen(L"test", 2, nullptr, nullptr, 0)), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FailureOf(WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NAMED_PROXY, L"proxy:8080", nullptr, 0)),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FailureOf(WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, nullptr, L"<local>", 0)),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(FailureOf(WinHttpOpen(L"test", 0, nullptr, nullptr, WINHTTP_FLAG_ASYNC)),
              static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

}  // namespace
