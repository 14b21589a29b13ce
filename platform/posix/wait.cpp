// The wait for the child. A Windows process handle is signalled once, when
// the process has ended; on Linux wexel makes sure of that itself:
//  - It sleeps in ppoll with SIGCHLD blocked at all other times, so that an
//    end that comes between a look and the sleep still wakes the sleep.
//  - Whatever wakes it (a SIGCHLD from anyone, a signal for the child, the
//    next reading of the virtual peak), it asks wait4 about this child
//    alone, without blocking. Only the child's end ends the wait.
//  - A child that made wexel its tracer (PTRACE_TRACEME, a common check for
//    a debugger) stops for it at every signal; wexel lets it go at once and
//    passes the signal on, so the child runs as if untraced.
//  - Other children that end (orphans that wexel inherits as PID 1 of a
//    container or as a subreaper) are reaped by their own pid; the child's
//    status and usage are never taken by mistake.
// No pidfd is needed, so kernels and sandboxes without pidfd_open wait the
// same way.
#include "layer.h"

#include <errno.h>
#include <poll.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <time.h>

// 100 ns units between readings of the virtual peak. Each reading wakes
// wexel and has the kernel write out the whole status file, some 40 to 90 us
// of CPU on a busy 2-core guest. The first comes 1 ms after the launch, so a
// command that ends sooner costs no reading at all; then the interval
// doubles up to 80 ms, which still catches every peak reached 100 ms or more
// before the exit, at about 70 readings for a 5 s run.
static const ULONGLONG FirstSampleInterval = 10000;
static const ULONGLONG LongestSampleInterval = 800000;

static void OnChildSignal(int) {}

// SIGCHLD at its default is thrown away before it could end a sleep, so it
// is caught for the wait, by a handler that does nothing; a handler of
// someone else's wakes the sleep just as well and is left alone. The
// signals passed on to the child are held back too, so that their handler
// runs only in the sleep, never between the reap and the moment the child's
// pid is let go.
static bool HoldWakeUps(sigset_t* previous, sigset_t* sleeping) {
    // Failing, the readings still wake it.
    bool caught = ReplaceDefaultAction(SIGCHLD, OnChildSignal, 0);
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGCHLD);
    AddSignalsForChild(&held);
    sigprocmask(SIG_BLOCK, &held, previous);
    // Asleep, the mask wexel had: a signal it was started with blocked stays
    // blocked, as it is in the child. SIGCHLD must wake it whatever.
    *sleeping = *previous;
    sigdelset(sleeping, SIGCHLD);
    return caught;
}

// Lets a tracing stop go: the signal that stopped the child is delivered as
// if no tracer had been there.
static void ReleaseTraceStop(pid_t pid, int signalNumber) {
    ptrace(PTRACE_DETACH, pid, NULL, reinterpret_cast<void*>(static_cast<long>(signalNumber)));
}

// True once the child has ended and is reaped, or is lost to another
// reaper (then ReapError says why).
static bool ReapIfEnded(PosixProcess* process) {
    for (;;) {
        int status;
        struct rusage usage;
        pid_t result = wait4(process->Pid, &status, WNOHANG, &usage);
        if (result == 0) return false;
        if (result < 0 && errno == EINTR) continue;
        if (result > 0 && WIFSTOPPED(status)) {
            ReleaseTraceStop(process->Pid, WSTOPSIG(status));
            continue;
        }
        process->ExitTime = BootTime();
        process->Reaped = true;
        process->ReapError = result < 0 ? errno : 0;
        if (result > 0) {
            process->WaitStatus = status;
            process->Usage = usage;
        }
        return true;
    }
}

static void ReapOtherChildren(pid_t child) {
    for (;;) {
        siginfo_t ended;
        memset(&ended, 0, sizeof(ended));
        if (waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) != 0) return;
        if (ended.si_pid == 0 || ended.si_pid == child) return;
        if (waitpid(ended.si_pid, NULL, WNOHANG) <= 0) return;
    }
}

static void Sleep(ULONGLONG units, const sigset_t* sleeping) {
    struct timespec timeout = {static_cast<time_t>(units / 10000000),
                               static_cast<long>(units % 10000000) * 100};
    ppoll(NULL, 0, &timeout, sleeping);
}

static bool WaitWithHeldWakeUps(PosixProcess* process, DWORD milliseconds,
                                const sigset_t* sleeping) {
    ULONGLONG deadline = BootTime() + static_cast<ULONGLONG>(milliseconds) * 10000;
    ULONGLONG interval = FirstSampleInterval;
    ULONGLONG nextSample = process->CreationTime + interval;
    while (!ReapIfEnded(process)) {
        ReapOtherChildren(process->Pid);
        ULONGLONG now = BootTime();
        if (now >= nextSample) {
            SamplePeakVirtual(process);
            if (interval < LongestSampleInterval) interval *= 2;
            if (interval > LongestSampleInterval) interval = LongestSampleInterval;
            nextSample = now + interval;
            continue;
        }
        ULONGLONG wake = nextSample;
        if (milliseconds != INFINITE) {
            if (now >= deadline) return false;
            if (deadline < wake) wake = deadline;
        }
        Sleep(wake - now, sleeping);
    }
    return true;
}

bool WaitForChildEnd(PosixProcess* process, DWORD milliseconds) {
    sigset_t previous, sleeping;
    bool caught = HoldWakeUps(&previous, &sleeping);
    bool ended = WaitWithHeldWakeUps(process, milliseconds, &sleeping);
    if (ended) {
        PassSignalsTo(0);
        EndAsChildEnded(process->ReapError == 0 ? process->WaitStatus : 0);
    }
    if (caught) signal(SIGCHLD, SIG_DFL);
    sigprocmask(SIG_SETMASK, &previous, NULL);
    return ended;
}
