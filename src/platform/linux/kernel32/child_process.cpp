#include "platform/linux/kernel32/child_process.h"

#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>

#include "platform/linux/support/error_mapping.h"
#include "platform/linux/support/held_signals.h"
#include "platform/linux/support/posix_io.h"

extern char** environ;

namespace velto::platform {
namespace {

// The exit code of a child that never ran its program.
constexpr int kNotStartedExit = 127;

// Processes whose handles were all closed while they ran, reaped once they
// have ended so that none lingers as a zombie. Never destroyed, like the
// handle table.
struct Orphans {
    std::mutex lock;
    std::vector<pid_t> pids;
};

Orphans& AllOrphans() {
    static auto* orphans = new Orphans;
    return *orphans;
}

// The signals held for the processes started here (see ChildProcess): the
// first to be started holds them, the last to be done with lets them go,
// so that processes that overlap restore what the caller had.
struct ChildSignals {
    std::mutex lock;
    int holders = 0;
    HeldSignals held;
};

ChildSignals& SignalsHeldForChildren() {
    static auto* signals = new ChildSignals;
    return *signals;
}

const HeldSignals& HoldSignalsFor(ChildProcess& child) {
    ChildSignals& signals = SignalsHeldForChildren();
    std::lock_guard<std::mutex> guard(signals.lock);
    if (signals.holders++ == 0) HoldSignals({SIGHUP, SIGTERM}, {SIGINT, SIGQUIT}, signals.held);
    child.holdsSignals = true;
    return signals.held;
}

void LetGoOfSignals(ChildProcess& child) {
    if (!child.holdsSignals) return;
    child.holdsSignals = false;
    ChildSignals& signals = SignalsHeldForChildren();
    std::lock_guard<std::mutex> guard(signals.lock);
    if (--signals.holders == 0) ReleaseSignals(signals.held);
}

// How often a wait looks at the process when the kernel cannot say when
// it ends (no process descriptor).
constexpr std::chrono::milliseconds kLookEvery {20};

// The next stretch of a wait: the time left, cut to kLookEvery when the
// end cannot be waited for; false once the time is up.
bool NextStretch(std::chrono::steady_clock::time_point deadline, bool limited, bool canWaitForEnd,
                 timespec& stretch) {
    using std::chrono::duration_cast;
    using std::chrono::nanoseconds;
    nanoseconds left = limited ? deadline - std::chrono::steady_clock::now() : nanoseconds(kLookEvery);
    if (left <= nanoseconds::zero()) return false;
    if (!canWaitForEnd && left > kLookEvery) left = kLookEvery;
    stretch.tv_sec = static_cast<time_t>(duration_cast<std::chrono::seconds>(left).count());
    stretch.tv_nsec = static_cast<long>((left % std::chrono::seconds(1)).count());
    return true;
}

// A process ended by a signal reports 128 plus the signal's number, as
// shells report it; Linux keeps only 8 bits of a normal exit code. A
// process that TerminateProcess ended reports the code it was given.
DWORD ExitCodeFromStatus(const ChildProcess& child, int status) {
    if (child.terminated && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return child.terminationCode;
    if (WIFEXITED(status)) return static_cast<DWORD>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128 + static_cast<DWORD>(WTERMSIG(status));
    return 0;
}

// The child's side. The parent may have other threads, so only calls that
// are safe after fork are made here. Until it runs the program, the child
// keeps the signals as its parent holds them.
[[noreturn]] void RunWhenLetRun(int channel, const char* program, char* const* argv, char* const* envp,
                                const char* folder, const HeldSignals& held) {
    char go = 0;
    ssize_t count = 0;
    do {
        count = read(channel, &go, 1);
    } while (count < 0 && errno == EINTR);
    // The channel's end without a go means the process is never to run.
    if (count == 1) {
        if (folder == nullptr || chdir(folder) == 0) {
            RestoreSignalsForProgram(held);
            execve(program, argv, envp);
        }
        const int error = errno;
        send(channel, &error, sizeof(error), MSG_NOSIGNAL);
    }
    _exit(kNotStartedExit);
}

// Waits until the child has started the program (the channel closes with
// the exec) or has told why it could not: 0, or that errno.
int ReadStartError(int channel) {
    int error = 0;
    std::size_t received = 0;
    return ReadFully(channel, &error, sizeof(error), received) && received == sizeof(error) ? error : 0;
}

// The null-terminated array of pointers that execve takes.
std::vector<char*> PointersTo(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool StartWaitingChild(const std::string& program, const std::vector<std::string>& words, const char* folder,
                       const std::vector<std::string>* environment, ChildProcess& child) {
    std::vector<char*> argv = PointersTo(words);
    std::vector<char*> envp = environment != nullptr ? PointersTo(*environment) : std::vector<char*>();

    int ends[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    const HeldSignals& held = HoldSignalsFor(child);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        RunWhenLetRun(ends[1], program.c_str(), argv.data(), environment != nullptr ? envp.data() : environ, folder,
                      held);
    }
    const int forkError = errno;
    if (pid < 0) {
        LetGoOfSignals(child);
        close(ends[1]);
        close(ends[0]);
        SetLastErrorFromErrno(forkError);
        return false;
    }
    close(ends[1]);
    child.pid = pid;
    child.channel = ends[0];
    return true;
}

int LetRun(ChildProcess& child) {
    const char go = 1;
    const int error = send(child.channel, &go, 1, MSG_NOSIGNAL) == 1 ? ReadStartError(child.channel) : errno;
    close(child.channel);
    child.channel = -1;
    if (error != 0) Reap(child, true);
    return error;
}

bool Reap(ChildProcess& child, bool block) {
    // pid -1 would reap any child at all.
    if (child.ended || child.pid <= 0) return child.ended;
    int status = 0;
    pid_t result = 0;
    do {
        result = waitpid(child.pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == child.pid) {
        child.ended = true;
        child.exitCode = ExitCodeFromStatus(child, status);
        LetGoOfSignals(child);
    }
    return result >= 0;
}

bool WaitForEnd(ChildProcess& child, long milliseconds) {
    Reap(child, false);
    if (child.ended || child.pid <= 0) return child.ended;
    const bool limited = milliseconds >= 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limited ? milliseconds : 0);
    // Readable once the process has ended. The system call itself: the C
    // library's header for it lacks C linkage in some versions.
    const int ending = static_cast<int>(syscall(SYS_pidfd_open, child.pid, 0));
    for (;;) {
        // A process that cannot be waited for (reaped by someone else) is not waited for.
        if (!Reap(child, false) || child.ended) break;
        // Not reaped yet, so the number is still this process's.
        if (const int caught = TakeCaughtSignal(); caught != 0) kill(child.pid, caught);
        timespec stretch {};
        const bool more = NextStretch(deadline, limited, ending >= 0, stretch);
        if (!more) break;
        // Not ended, so its signals are still held.
        WaitForEvent(SignalsHeldForChildren().held, ending, limited || ending < 0 ? &stretch : nullptr);
    }
    if (ending >= 0) close(ending);
    return child.ended;
}

void ReapOrphans() {
    Orphans& orphans = AllOrphans();
    std::lock_guard<std::mutex> guard(orphans.lock);
    std::erase_if(orphans.pids, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

ChildProcess::~ChildProcess() {
    if (channel >= 0) {
        // Never let run: without its channel the child ends at once.
        close(channel);
        Reap(*this, true);
    } else {
        Reap(*this, false);
    }
    if (!ended && pid > 0) {
        Orphans& orphans = AllOrphans();
        std::lock_guard<std::mutex> guard(orphans.lock);
        orphans.pids.push_back(pid);
    }
    LetGoOfSignals(*this);
    ReapOrphans();
}

}  // namespace velto::platform
