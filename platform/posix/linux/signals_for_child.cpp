// Every signal that reaches wexel while the command runs. Without wexel it
// would have reached the command, so the rule is to pass it on, and the
// rest of this file is the exceptions:
//  - SIGCHLD says something of wexel's children: the wait looks at them.
//  - SIGCONT continued wexel; the command is continued too if it is still
//    stopped (job_control.cpp).
//  - A signal sent by the command itself, or by a process it started (to
//    their process group, wexel included), has reached the command already.
//  - A signal the kernel sends on behalf of the terminal (si_code
//    SI_KERNEL: Ctrl+C, Ctrl+\, Ctrl+Z, a background read or write, a
//    resize, a hang-up) went to the whole foreground group, the command
//    included. Ctrl+C and Ctrl+\ still go to the console's handler.
//  - A fault of wexel's own (SIGSEGV, SIGBUS, SIGILL, SIGFPE with a
//    positive si_code) ends wexel.
// The signals are blocked from just before the start to the reap and taken
// one at a time with their siginfo (sigtimedwait), so each is seen with
// its sender, and none runs a handler while wexel waits. Blocked, a signal
// stays pending even where its disposition would throw it away, and one
// that wexel was given blocked, or pending, is passed on like any other:
// the command starts with the mask wexel was given and keeps it pending
// until it unblocks it. So is one that wexel was started with ignored
// (nohup): the command inherits it ignored and the kernel drops it there,
// unless the command has taken the signal over, as it would have without
// wexel.
#include "child.h"
#include "system_calls.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

static sigset_t g_givenMask;  // wexel's own mask, which the command starts with
static void (*g_terminalInterruptHandler)(int);
static bool g_cannotTakeSignals;  // sigtimedwait fails here (a seccomp filter)

void HoldSignals(void) {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &g_givenMask);
}

const sigset_t* GivenSignalMask(void) {
    return &g_givenMask;
}

void SetTerminalInterruptHandler(void (*handler)(int)) {
    g_terminalInterruptHandler = handler;
}

void ActOnDefault(int signalNumber) {
    signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    raise(signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, NULL);
}

// Where the signals cannot be taken, the wait still sleeps, never spins:
// 1 ms at a time at most, so that the command's end, which no signal can
// announce now, is seen within a millisecond. nanosleep, or select where
// that fails too.
static void SleepWithoutSignals(uint64_t nanoseconds) {
    if (nanoseconds > 1000000) nanoseconds = 1000000;
    struct timespec pause = {0, static_cast<long>(nanoseconds)};
    if (nanosleep(&pause, NULL) == 0 || errno == EINTR) return;
    struct timeval wait = {0, static_cast<suseconds_t>(nanoseconds / 1000)};
    select(0, NULL, NULL, NULL, &wait);
}

int TakeSignal(siginfo_t* info, uint64_t nanoseconds) {
    if (!g_cannotTakeSignals) {
        sigset_t all;
        sigfillset(&all);
        struct timespec timeout = {static_cast<time_t>(nanoseconds / 1000000000u),
                                   static_cast<long>(nanoseconds % 1000000000u)};
        int taken = osSigtimedwait(&all, info, &timeout);
        if (taken > 0 || errno == EAGAIN || errno == EINTR) return taken > 0 ? taken : 0;
        g_cannotTakeSignals = true;
    }
    SleepWithoutSignals(nanoseconds);
    return 0;
}

static bool IsTerminals(int signalNumber) {
    switch (signalNumber) {
        case SIGINT: case SIGQUIT: case SIGTSTP: case SIGTTIN: case SIGTTOU:
        case SIGWINCH: case SIGHUP: case SIGCONT:
            return true;
    }
    return false;
}

static bool IsOwnFault(const siginfo_t* info) {
    int signalNumber = info->si_signo;
    bool fault = signalNumber == SIGSEGV || signalNumber == SIGBUS || signalNumber == SIGILL ||
                 signalNumber == SIGFPE;
    return fault && info->si_code > 0 && info->si_code != SI_KERNEL;
}

// A queued signal keeps its value (sigqueue); the others go as kill sends.
static void PassOn(pid_t pid, const siginfo_t* info) {
    if (info->si_code == SI_QUEUE)
        sigqueue(pid, info->si_signo, info->si_value);
    else
        osKill(pid, info->si_signo);
}

// The parent of a process, from /proc/PID/stat: "PID (NAME) STATE PPID ...",
// where the name may hold any byte, so it is read past the last ')'; 0 when
// the process is gone.
static pid_t ParentOf(pid_t pid) {
    char path[32], stat[512];
    snprintf(path, sizeof(path), "/proc/%d/stat", static_cast<int>(pid));
    int fd = osOpen(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    ssize_t length = read(fd, stat, sizeof(stat) - 1);
    close(fd);
    if (length <= 0) return 0;
    stat[length] = 0;
    const char* end = strrchr(stat, ')');
    if (end == NULL || end[1] != ' ' || end[2] == 0 || end[3] != ' ') return 0;
    return static_cast<pid_t>(atol(end + 4));
}

// The command, or a process it started (a subshell's kill 0), sent it to
// its process group, which it shares with wexel. The sender's ancestors
// are followed up to the command, or to wexel or the top of the tree; a
// sender already reaped cannot be followed, and its signal is passed on.
static bool SentByChildOrItsOwn(const Child* child, const siginfo_t* info) {
    bool fromProcess = info->si_code == SI_USER || info->si_code == SI_QUEUE ||
                       info->si_code == SI_TKILL;
    if (!fromProcess) return false;
    pid_t own = getpid();
    pid_t sender = info->si_pid;
    for (int depth = 0; depth < 64 && sender > 1 && sender != own; ++depth) {
        if (sender == child->Pid) return true;
        sender = ParentOf(sender);
    }
    return false;
}

void RouteSignal(Child* child, const siginfo_t* info) {
    int signalNumber = info->si_signo;
    bool fromTerminal = info->si_code == SI_KERNEL && IsTerminals(signalNumber);
    bool interrupt = signalNumber == SIGINT || signalNumber == SIGQUIT;
    if (signalNumber == SIGCHLD) return;
    if (signalNumber == SIGCONT) {
        ContinueChildIfStopped(child);
    } else if (IsOwnFault(info)) {
        ActOnDefault(signalNumber);
    } else if (fromTerminal) {
        if (interrupt && g_terminalInterruptHandler != NULL) g_terminalInterruptHandler(signalNumber);
    } else if (!child->Ended && !SentByChildOrItsOwn(child, info)) {
        PassOn(child->Pid, info);
    }
}

// Where the signals could not be taken, what was held for the command is
// still pending. A disposition set to SIG_IGN discards a pending signal,
// so each is dropped that way rather than left to end wexel before its
// report; what wexel was given blocked stays, as it was given.
static void DropHeldSignals(void) {
    sigset_t pending;
    if (sigpending(&pending) != 0) return;
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
        if (!sigismember(&pending, signalNumber) || sigismember(&g_givenMask, signalNumber))
            continue;
        struct sigaction ignore, old;
        memset(&ignore, 0, sizeof(ignore));
        ignore.sa_handler = SIG_IGN;
        if (osSigaction(signalNumber, &ignore, &old) == 0) osSigaction(signalNumber, &old, NULL);
    }
}

// What came after the command's end was meant for a command that is gone,
// as it would have found it gone without wexel: dropped, but for the
// console's interrupts. Then the mask wexel was given, and no pending
// signal is left to act on it.
void ReleaseSignalsAfterReap(Child* child) {
    siginfo_t info;
    while (!g_cannotTakeSignals && TakeSignal(&info, 0) > 0) RouteSignal(child, &info);
    if (g_cannotTakeSignals) DropHeldSignals();
    RestoreDispositionsAfterReap();
    sigprocmask(SIG_SETMASK, &g_givenMask, NULL);
}

// No command came of the start: what came meanwhile was wexel's own after
// all, and has its effect as the mask is put back.
void ReleaseSignalsAfterFailedStart(void) {
    sigprocmask(SIG_SETMASK, &g_givenMask, NULL);
}
