// Starting a program and waiting for it. The program gets the caller's
// rights, environment and current folder, and none of its files: every
// descriptor the layer opens is close-on-exec.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/command_line.h"
#include "platform/linux/error_mapping.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/kernel32.h"
#include "platform/linux/program_image.h"
#include "platform/linux/text_conversion.h"
#include "platform/linux/wine_location.h"

extern char** environ;

using velto::platform::KernelObject;
using velto::platform::ObjectKind;

namespace {

// A process ended by a signal reports 128 plus the signal's number, as
// shells report it; Linux keeps only 8 bits of a normal exit code.
DWORD ExitCodeFromStatus(int status) {
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128 + static_cast<DWORD>(WTERMSIG(status));
    return 0;
}

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
            return true;
        case velto::platform::ProgramKind::Unreadable:
            velto::platform::SetLastErrorFromErrno(errnum);
            return false;
        case velto::platform::ProgramKind::UnusableWindows:
            SetLastError(ERROR_BAD_EXE_FORMAT);
            return false;
        case velto::platform::ProgramKind::WindowsProgram:
            break;
    }
    if (!WineIsInstalled()) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    words[0] = program;
    words.insert(words.begin(), velto::platform::WineLauncherPath());
    program = velto::platform::WineLauncherPath();
    return true;
}

bool SpawnProgram(const std::string& program, const std::vector<std::string>& words, const char* folder,
                  pid_t& pid) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (folder != nullptr) posix_spawn_file_actions_addchdir_np(&actions, folder);
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        velto::platform::SetLastErrorFromErrno(error);
        return false;
    }
    return true;
}

// Reaps the process if it has ended; with block, waits until it has.
void Reap(KernelObject& process, bool block) {
    if (process.ended) return;
    int status = 0;
    pid_t result = 0;
    do {
        result = waitpid(process.pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == process.pid) {
        process.ended = true;
        process.exitCode = ExitCodeFromStatus(status);
    }
}

}  // namespace

extern "C" BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                               LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                               LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                               LPPROCESS_INFORMATION lpProcessInformation) {
    if (lpStartupInfo == nullptr || lpProcessInformation == nullptr || dwCreationFlags != 0 ||
        lpEnvironment != nullptr || (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
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
    if (!ToUtf8Words(wideWords, words)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ChooseLauncher(program, words)) return FALSE;
    pid_t pid = -1;
    if (!SpawnProgram(program, words, lpCurrentDirectory != nullptr ? folder.c_str() : nullptr, pid)) return FALSE;

    KernelObject process;
    process.kind = ObjectKind::Process;
    process.pid = pid;
    KernelObject thread = process;
    thread.kind = ObjectKind::Thread;
    lpProcessInformation->hProcess = velto::platform::AddObject(process);
    lpProcessInformation->hThread = velto::platform::AddObject(thread);
    lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

extern "C" DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    KernelObject* process = velto::platform::FindObject(hHandle, ObjectKind::Process);
    if (process == nullptr) return WAIT_FAILED;
    if (dwMilliseconds == INFINITE) {
        Reap(*process, true);
        return process->ended ? WAIT_OBJECT_0 : WAIT_FAILED;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        Reap(*process, false);
        if (process->ended) return WAIT_OBJECT_0;
        if (std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

extern "C" BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    KernelObject* process = velto::platform::FindObject(hProcess, ObjectKind::Process);
    if (process == nullptr || lpExitCode == nullptr) {
        if (process != nullptr) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Reap(*process, false);
    *lpExitCode = process->ended ? process->exitCode : static_cast<DWORD>(STILL_ACTIVE);
    return TRUE;
}
