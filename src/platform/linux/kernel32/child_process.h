// A started program on Linux: a forked child that waits on a socket until
// it is let run, and only then runs the program. So a process created
// suspended runs nothing of the program until it is resumed. Unlike
// Windows, which maps the program when it creates the process, the child
// opens the program by its path when it is let run; whether it could is
// reported back through the socket, which closes by itself once the
// program runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/linux/win_types.h"

namespace velto::platform {

// Shared by a process's process and thread handles; released with the
// last of them. A child still waiting then ends without running anything;
// one still running is reaped once it has ended.
//
// From its fork until it has been reaped or let go of, as system(3) does,
// the caller ignores an interrupt and a quit (from the terminal, they reach
// the program too: it decides) and holds a hang-up or a termination
// request, which a wait then passes on to the process. The program itself
// runs with the signals as the caller had them.
struct ChildProcess {
    pid_t pid = -1;
    int channel = -1;  // to the child while it waits to run the program
    bool ended = false;
    DWORD exitCode = 0;
    bool terminated = false;  // by TerminateProcess, with terminationCode
    DWORD terminationCode = 0;
    std::wstring imageName;  // the program, in Windows form
    bool holdsSignals = false;
    ~ChildProcess();
};

// Forks a child that waits to run program with words (argv), in folder
// when it is not null, with environment ("NAME=value" texts) when it is not
// null and the caller's own otherwise. False with the last error set when
// it cannot.
bool StartWaitingChild(const std::string& program, const std::vector<std::string>& words, const char* folder,
                       const std::vector<std::string>* environment, ChildProcess& child);

// Lets the waiting child run the program: 0 once it runs, or the errno for
// which it could not, after which the process has ended and been reaped.
int LetRun(ChildProcess& child);

// Reaps the process if it has ended; with block, waits until it has.
// False when it cannot be waited for: not a child (any more).
bool Reap(ChildProcess& child, bool block);

// Waits until the process has ended, or for at most milliseconds when
// that is not negative; true once it has ended and been reaped. A hang-up
// or a termination request held for the process, before the wait or
// during it, is passed on to it, and the wait goes on.
bool WaitForEnd(ChildProcess& child, long milliseconds);

// Reaps the processes that were let go of while they ran and have ended.
void ReapOrphans();

}  // namespace velto::platform
