#include "app/installer_launch.h"

#include <vector>

#include "app/installer_environment.h"
#include "base/scoped_owner.h"
#include "base/windows_error_text.h"
#include "verify/file_identity.h"

namespace {

constexpr wchar_t kExitCodeUnread[] = L"Velto Setup ran, but Velto could not learn how it ended: ";
// Long enough for any path Windows accepts.
constexpr DWORD kImageNameCapacity = 32768;

std::wstring NotStartedMessage(DWORD code) {
    return kNotStartedPrefix + DescribeWindowsError(code);
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
    const ScopedFileHandle image(CreateFileW(name.data(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!image || !ReadFileIdentity(image.get(), identity)) {
        failure = FailureCode();
        return false;
    }
    return true;
}

// CreateProcessW opens the path again. On Windows the held file and
// folder, and Windows' temporary folder above them, which only elevated
// code can change, keep that path on the verified file; where a folder
// above could still be renamed and the path pointed at another file (Wine
// allows it), the new process would run that file elevated. So it is
// created suspended and resumed only when its image is the held file.
bool ResumeIfVerifiedImage(HANDLE process, HANDLE thread, HANDLE verifiedFile, DWORD& failure) {
    FileIdentity verified;
    FileIdentity image;
    if (!ReadFileIdentity(verifiedFile, verified)) {
        failure = FailureCode();
        return false;
    }
    if (!ReadImageIdentity(process, image, failure)) return false;
    if (!IsSameFile(verified, image)) {
        failure = ERROR_FILE_INVALID;
        return false;
    }
    if (ResumeThread(thread) == static_cast<DWORD>(-1)) {
        failure = FailureCode();
        return false;
    }
    return true;
}

// Ends a process that never ran an instruction of its own; the wait lets
// go of its image before the caller deletes the file. A process that could
// not be terminated stays suspended and never runs, and waiting for it
// would never return; the run ends with the reason it was refused either
// way, so nothing else is examined.
void DiscardSuspendedProcess(HANDLE process, DWORD reason) {
    if (TerminateProcess(process, reason)) WaitForSingleObject(process, INFINITE);
}

// The installer's working folder is its own, not Velto's (usually the
// user's Downloads), and its temporary folder is made in it: both lie in
// the staging folder, which only elevated code can change.
bool PrepareInstallerFolders(const std::wstring& path, std::wstring& folder, std::vector<wchar_t>& environment) {
    folder = path.substr(0, path.find_last_of(L'\\'));
    const std::wstring tempFolder = folder + L"\\Temp";
    if (!CreateDirectoryW(tempFolder.c_str(), nullptr)) return false;
    environment = MakeInstallerEnvironment(tempFolder);
    return !environment.empty();
}

// A process handle of our own with full access can be waited on and
// queried; if either fails all the same, the installer's outcome is
// unknown, and 0 would report success that nobody saw.
bool WaitForExitCode(HANDLE process, DWORD& exitCode) {
    exitCode = 0;
    return WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &exitCode);
}

}  // namespace

bool LaunchInstaller(const std::wstring& path, HANDLE verifiedFile, DWORD& exitCode, std::wstring& errorText) {
    std::wstring commandLine = L"\"" + path + L"\"";

    std::wstring folder;
    std::vector<wchar_t> environment;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};

    // By name, in the held staging folder, where no one without elevation
    // can change a name; the image check below proves what was mapped.
    if (!PrepareInstallerFolders(path, folder, environment) ||
        !CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(), &startup,
                        &created)) {
        errorText = LastErrorMessage(kNotStartedPrefix);
        return false;
    }
    // Declared in this order so that the thread handle is closed first.
    const ScopedKernelHandle process(created.hProcess);
    const ScopedKernelHandle thread(created.hThread);

    DWORD failure = ERROR_SUCCESS;
    if (!ResumeIfVerifiedImage(process.get(), thread.get(), verifiedFile, failure)) {
        DiscardSuspendedProcess(process.get(), failure);
        errorText = NotStartedMessage(failure);
        return false;
    }
    if (!WaitForExitCode(process.get(), exitCode)) {
        errorText = LastErrorMessage(kExitCodeUnread);
        return false;
    }
    return true;
}
