#include "app/installer_launch.h"

#include "app/windows_error_text.h"
#include "platform/win_api.h"

namespace {

// The size of STARTUPINFOW on 64-bit Windows.
constexpr DWORD kStartupInfoSize = 104;

}  // namespace

int LaunchInstaller(const std::wstring& path, std::wstring& errorText) {
    std::wstring commandLine = L"\"" + path + L"\"";

    STARTUPINFOW startup = {};
    startup.cb = kStartupInfoSize;
    PROCESS_INFORMATION process = {};

    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD code = GetLastError();
        errorText = L"Could not start Velto Setup: " + DescribeWindowsError(code);
        return -1;
    }

    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
