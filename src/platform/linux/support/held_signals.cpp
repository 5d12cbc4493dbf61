#include "platform/linux/support/held_signals.h"

#include <pthread.h>

namespace velto::platform {
namespace {

volatile sig_atomic_t caughtSignal = 0;

// Nothing but the flag: little else is safe in a handler.
void CatchSignal(int number) {
    caughtSignal = number;
}

bool IsIgnored(int number) {
    struct sigaction current {};
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void Replace(int number, void (*handler)(int), HeldSignals& held) {
    if (held.count == HeldSignals::kMost) return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the wait returns when a signal comes
    if (sigaction(number, &action, &held.previous[held.count]) != 0) return;
    held.numbers[held.count] = number;
    ++held.count;
}

void RestoreDispositions(const HeldSignals& held) {
    for (int i = held.count - 1; i >= 0; --i) sigaction(held.numbers[i], &held.previous[i], nullptr);
}

}  // namespace

void HoldSignals(std::initializer_list<int> caught, std::initializer_list<int> ignored, HeldSignals& held) {
    held = HeldSignals {};  // nothing of an earlier hold
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int number : caught) sigaddset(&blocked, number);
    pthread_sigmask(SIG_BLOCK, &blocked, &held.previousMask);
    held.waitMask = held.previousMask;
    caughtSignal = 0;
    // One ignored when the process started (nohup, a background job)
    // stays ignored, as it would have without the wait.
    for (const int number : caught) {
        if (IsIgnored(number)) continue;
        Replace(number, CatchSignal, held);
        sigdelset(&held.waitMask, number);
    }
    for (const int number : ignored) Replace(number, SIG_IGN, held);
}

void WaitForEvent(const HeldSignals& held, int fd, const timespec* timeout) {
    pollfd event {fd, POLLIN, 0};
    // Lets the caught signals in and blocks in one step: none can slip in
    // between a look at the flag and the start of the wait.
    ppoll(fd >= 0 ? &event : nullptr, fd >= 0 ? 1 : 0, timeout, &held.waitMask);
}

int CaughtSignal() {
    return caughtSignal;
}

int TakeCaughtSignal() {
    const int number = caughtSignal;
    caughtSignal = 0;
    return number;
}

void ReleaseSignals(const HeldSignals& held) {
    pthread_sigmask(SIG_SETMASK, &held.previousMask, nullptr);
    RestoreDispositions(held);
}

void RestoreSignalsForProgram(const HeldSignals& held) {
    RestoreDispositions(held);
    sigprocmask(SIG_SETMASK, &held.previousMask, nullptr);
}

}  // namespace velto::platform
