#include "app/installer_launch.h"

#include <vector>

#include "app/windows_error_text.h"
#include "verify/file_identity.h"

namespace {

// The size of STARTUPINFOW on 64-bit Windows.
constexpr DWORD kStartupInfoSize = 104;
// Long enough for any path Windows accepts.
constexpr DWORD kImageNameCapacity = 32768;

std::wstring NotStartedMessage(DWORD code) {
    return L"Could not start Velto Setup: " + DescribeWindowsError(code);
}

// The last error of a call that failed; never ERROR_SUCCESS, so that a
// failure can never read as a match.
DWORD FailureCode() {
    const DWORD code = GetLastError();
    return code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
}

// Which file the process's image was mapped from, by the name Windows
// reports for it.
bool ReadImageIdentity(HANDLE process, FileIdentity& identity, DWORD& failure) {
    std::vector<wchar_t> name(kImageNameCapacity, L'\0');
    DWORD length = kImageNameCapacity;
    if (!QueryFullProcessImageNameW(process, 0, name.data(), &length)) {
        failure = FailureCode();
        return false;
    }
    // Attributes only: no share mode can refuse this open, and it takes none
    // from anybody else.
    HANDLE image = CreateFileW(name.data(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (image == INVALID_HANDLE_VALUE) {
        failure = FailureCode();
        return false;
    }
    const bool identified = ReadFileIdentity(image, identity);
    if (!identified) failure = FailureCode();
    CloseHandle(image);
    return identified;
}

// CreateProcessW opens the path again. On Windows the held file and folder
// keep that path on the verified file; where a folder above could still be
// renamed and the path pointed at another file (Wine allows it), the new
// process would run that file elevated. So it is created suspended and
// resumed only when its image is the held file.
bool ResumeIfVerifiedImage(const PROCESS_INFORMATION& process, HANDLE verifiedFile, DWORD& failure) {
    FileIdentity verified;
    FileIdentity image;
    if (!ReadFileIdentity(verifiedFile, verified)) {
        failure = FailureCode();
        return false;
    }
    if (!ReadImageIdentity(process.hProcess, image, failure)) return false;
    if (!IsSameFile(verified, image)) {
        failure = ERROR_FILE_INVALID;
        return false;
    }
    if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
        failure = FailureCode();
        return false;
    }
    return true;
}

}  // namespace

bool LaunchInstaller(const std::wstring& path, HANDLE verifiedFile, DWORD& exitCode, std::wstring& errorText) {
    std::wstring commandLine = L"\"" + path + L"\"";

    STARTUPINFOW startup = {};
    startup.cb = kStartupInfoSize;
    PROCESS_INFORMATION process = {};

    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                        &startup, &process)) {
        const DWORD code = GetLastError();
        errorText = NotStartedMessage(code);
        return false;
    }

    DWORD failure = ERROR_SUCCESS;
    const bool resumed = ResumeIfVerifiedImage(process, verifiedFile, failure);
    if (!resumed) TerminateProcess(process.hProcess, failure);
    WaitForSingleObject(process.hProcess, INFINITE);
    exitCode = 0;
    if (resumed) GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!resumed) errorText = NotStartedMessage(failure);
    return resumed;
}
