// Starting a program, waiting for it and ending it. The program gets the
// caller's rights, the environment and current folder it is given or else
// the caller's, and none of its files: every descriptor the layer opens is
// close-on-exec.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/support/api_failure.h"
#include "platform/linux/kernel32/child_process.h"
#include "platform/linux/kernel32/command_line.h"
#include "platform/linux/support/error_mapping.h"
#include "platform/linux/support/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/kernel32/program_image.h"
#include "platform/linux/support/text_conversion.h"
#include "platform/linux/kernel32/wine_location.h"

using velto::platform::ChildProcess;
using velto::platform::LetRun;
using velto::platform::Reap;
using velto::platform::ReapOrphans;
using velto::platform::KernelObject;
using velto::platform::ObjectKind;

namespace {

constexpr DWORD kResumeFailed = static_cast<DWORD>(-1);

bool ToUtf8Words(const std::vector<std::wstring>& words, std::vector<std::string>& out) {
    for (const std::wstring& word : words) {
        std::string utf8;
        if (!velto::platform::Utf16ToUtf8(word, utf8)) return false;
        out.push_back(utf8);
    }
    return true;
}

bool WineIsInstalled() {
    struct stat info {};
    const char* wine = velto::platform::WineLauncherPath();
    return stat(wine, &info) == 0 && S_ISREG(info.st_mode) && access(wine, X_OK) == 0;
}

// Decides how program is started: directly, or a Windows program through
// Wine as Debian's wine-binfmt would, with Wine in front of its words. A
// Windows image that Windows itself could not start is refused before
// anything runs, and so is every Windows program when Wine is absent.
bool ChooseLauncher(std::string& program, std::vector<std::string>& words) {
    int errnum = 0;
    switch (velto::platform::ClassifyProgram(program, errnum)) {
        case velto::platform::ProgramKind::Native:
            // Checked now, as Windows checks the image when it creates the
            // process; the kernel decides the rest when the program runs.
            if (access(program.c_str(), X_OK) == 0) return true;
            velto::platform::SetLastErrorFromErrno(errno);
            return false;
        case velto::platform::ProgramKind::Unreadable:
            velto::platform::SetLastErrorFromErrno(errnum);
            return false;
        case velto::platform::ProgramKind::UnusableWindows:
            return velto::platform::Fail(ERROR_BAD_EXE_FORMAT);
        case velto::platform::ProgramKind::WindowsProgram:
            break;
    }
    if (!WineIsInstalled()) {
        return velto::platform::Fail(ERROR_BAD_EXE_FORMAT);
    }
    words[0] = program;
    words.insert(words.begin(), velto::platform::WineLauncherPath());
    program = velto::platform::WineLauncherPath();
    return true;
}

// The program's full path, as Windows resolves a relative one: against
// the caller's current folder, not the new process's.
bool ResolveProgram(std::string& program, std::wstring& imageName) {
    if (program[0] != '/') {
        std::vector<char> folder(PATH_MAX);
        if (getcwd(folder.data(), folder.size()) == nullptr) {
            velto::platform::SetLastErrorFromErrno(errno);
            return false;
        }
        program = std::string(folder.data()) + "/" + program;
    }
    if (!velto::platform::Utf8PathToWidePath(program, imageName)) {
        return velto::platform::Fail(ERROR_INVALID_NAME);
    }
    return true;
}

// A Windows environment block of "NAME=value" texts, each ending in a
// null, the block in one more, as the UTF-8 texts that execve takes.
bool EnvironmentFromBlock(const wchar_t* block, std::vector<std::string>& environment) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += velto::platform::WideLength(entry) + 1) {
        std::string text;
        if (!velto::platform::Utf16ToUtf8(entry, text)) return false;
        environment.push_back(text);
    }
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    return velto::platform::Fail(ERROR_DIRECTORY);
}

}  // namespace

extern "C" BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                               LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                               LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                               LPPROCESS_INFORMATION lpProcessInformation) {
    // Only a Unicode environment block: the layer has no ANSI code page.
    const bool unicodeEnvironment = (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT) != 0;
    if (lpStartupInfo == nullptr || lpProcessInformation == nullptr ||
        (dwCreationFlags & ~(CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT)) != 0 ||
        (lpEnvironment != nullptr && !unicodeEnvironment) ||
        (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring commandLine = lpCommandLine != nullptr ? lpCommandLine : lpApplicationName;
    const std::vector<std::wstring> wideWords = velto::platform::SplitCommandLine(commandLine);

    std::string program;
    std::string folder;
    std::vector<std::string> words;
    if (!velto::platform::WidePathToUtf8(lpApplicationName != nullptr ? lpApplicationName : wideWords[0].c_str(),
                                         program) ||
        (lpCurrentDirectory != nullptr && !velto::platform::WidePathToUtf8(lpCurrentDirectory, folder))) {
        return FALSE;
    }
    std::vector<std::string> environment;
    if (!ToUtf8Words(wideWords, words) ||
        (lpEnvironment != nullptr && !EnvironmentFromBlock(static_cast<const wchar_t*>(lpEnvironment), environment))) {
        return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    }
    ReapOrphans();
    auto child = std::make_shared<ChildProcess>();
    if (!ResolveProgram(program, child->imageName) || !ChooseLauncher(program, words) ||
        (lpCurrentDirectory != nullptr && !IsFolder(folder)) ||
        !StartWaitingChild(program, words, lpCurrentDirectory != nullptr ? folder.c_str() : nullptr,
                           lpEnvironment != nullptr ? &environment : nullptr, *child)) {
        return FALSE;
    }
    if ((dwCreationFlags & CREATE_SUSPENDED) == 0) {
        const int error = LetRun(*child);
        if (error != 0) {
            velto::platform::SetLastErrorFromErrno(error);
            return FALSE;
        }
    }
    KernelObject process;
    process.kind = ObjectKind::Process;
    process.child = child;
    KernelObject thread = process;
    thread.kind = ObjectKind::Thread;
    lpProcessInformation->hProcess = velto::platform::AddObject(process);
    lpProcessInformation->hThread = velto::platform::AddObject(thread);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(child->pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(child->pid);
    return TRUE;
}

// The previous suspend count: 1 when this resumes a suspended process, 0
// when it already ran.
extern "C" DWORD ResumeThread(HANDLE hThread) {
    KernelObject* thread = velto::platform::FindObject(hThread, ObjectKind::Thread);
    if (thread == nullptr) return kResumeFailed;
    if (thread->child->channel < 0) return 0;
    const int error = LetRun(*thread->child);
    if (error == 0) return 1;
    velto::platform::SetLastErrorFromErrno(error);
    return kResumeFailed;
}

extern "C" BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    KernelObject* process = velto::platform::FindObject(hProcess, ObjectKind::Process);
    if (process == nullptr) return FALSE;
    ChildProcess& child = *process->child;
    Reap(child, false);
    if (child.ended) {
        // Windows answers this way for a process that has already ended.
        return velto::platform::Fail(ERROR_ACCESS_DENIED);
    }
    child.terminated = true;
    child.terminationCode = uExitCode;
    kill(child.pid, SIGKILL);
    if (child.channel >= 0) {
        close(child.channel);
        child.channel = -1;
    }
    return TRUE;
}

extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    KernelObject* process = velto::platform::FindObject(hHandle, ObjectKind::Process);
    if (process == nullptr) return WAIT_FAILED;
    const long milliseconds = dwMilliseconds == INFINITE ? -1 : static_cast<long>(dwMilliseconds);
    if (velto::platform::WaitForEnd(*process->child, milliseconds)) return WAIT_OBJECT_0;
    return dwMilliseconds == INFINITE ? WAIT_FAILED : WAIT_TIMEOUT;
}

extern "C" BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    KernelObject* process = velto::platform::FindObject(hProcess, ObjectKind::Process);
    if (process == nullptr) return FALSE;
    if (lpExitCode == nullptr) return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    Reap(*process->child, false);
    *lpExitCode = process->child->ended ? process->child->exitCode : static_cast<DWORD>(STILL_ACTIVE);
    return TRUE;
}

// The program as the layer resolved it when it created the process; for a
// Windows program run through Wine, the program, not Wine.
extern "C" BOOL QueryFullProcessImageNameW(HANDLE hProcess, DWORD dwFlags, LPWSTR lpExeName, LPDWORD lpdwSize) {
    const KernelObject* process = velto::platform::FindObject(hProcess, ObjectKind::Process);
    if (process == nullptr) return FALSE;
    if (dwFlags != 0 || lpExeName == nullptr || lpdwSize == nullptr) {
        return velto::platform::Fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring& name = process->child->imageName;
    if (name.size() >= *lpdwSize) {
        return velto::platform::Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    name.copy(lpExeName, name.size());
    lpExeName[name.size()] = L'\0';
    *lpdwSize = static_cast<DWORD>(name.size());
    return TRUE;
}
