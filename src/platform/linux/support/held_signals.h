// Signals held off while the layer waits on a person or a program: a
// caught signal only sets a flag and ends the wait, so that the waiter
// decides what happens instead of the process dying with work undone.
#pragma once

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <initializer_list>

namespace velto::platform {

struct HeldSignals {
    static constexpr int kMost = 4;
    int numbers[kMost] = {};
    struct sigaction previous[kMost] = {};
    int count = 0;
    sigset_t previousMask {};
    sigset_t waitMask {};  // while blocked in WaitForEvent: the caught signals let through
};

// Until ReleaseSignals: each signal in caught that is not ignored now is
// caught into the flag, and each in ignored is ignored. The caught ones
// are blocked except inside WaitForEvent, so one that comes before a wait
// is delivered as the wait begins instead of being lost.
void HoldSignals(std::initializer_list<int> caught, std::initializer_list<int> ignored, HeldSignals& held);

// Blocks until fd (when not negative) has an event, a caught signal
// arrives or timeout (null: none) passes.
void WaitForEvent(const HeldSignals& held, int fd, const timespec* timeout);

// The signal caught since the signals were held or last taken, or 0.
int CaughtSignal();

// The same, and clears it.
int TakeCaughtSignal();

// Restores the signal mask, then the dispositions. A caught signal still
// pending is taken into the flag first, so it is seen by TakeCaughtSignal
// rather than acted on after the wait.
void ReleaseSignals(const HeldSignals& held);

// In a child forked while the signals were held, before it runs a
// program: restores the dispositions, then the mask, so that a signal
// held since the fork acts on the child as it would have without the
// hold. Only calls that are safe after fork.
void RestoreSignalsForProgram(const HeldSignals& held);

}  // namespace velto::platform
