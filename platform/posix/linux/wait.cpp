// The wait for the command. A Windows process handle is signalled once,
// when the process has ended; on Linux wexel makes sure of that itself:
//  - It sleeps in ppoll with SIGCHLD blocked at all other times, so that an
//    end that comes between a look and the sleep still wakes the sleep.
//  - Whatever wakes it (a SIGCHLD from anyone, a signal for the command,
//    the next reading of the virtual peak), it asks wait4 about this
//    command alone, without blocking. Only the command's end ends the wait.
//  - A command that made wexel its tracer (PTRACE_TRACEME, a common check
//    for a debugger) stops for it at every signal; wexel lets it go at
//    once with that signal, so the command runs on as if untraced.
//  - Other children that end (orphans that wexel inherits as PID 1 of a
//    container or as a subreaper) are reaped by their own pid; the
//    command's status and usage are never taken by mistake.
// No pidfd is needed, so kernels and sandboxes without pidfd_open wait the
// same way.
#include "child.h"
#include "system_calls.h"

#include <errno.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/wait.h>

// Nanoseconds between readings of the virtual peak. Each reading wakes
// wexel and has the kernel write out the whole status file, some 40 to 90 us
// of CPU on a busy 2-core guest. The first comes 1 ms after the start, so a
// command that ends sooner costs no reading at all; then the interval
// doubles up to 80 ms, which still catches every peak reached 100 ms or more
// before the exit, at about 70 readings for a 5 s run.
static const uint64_t FirstSampleInterval = 1000000;
static const uint64_t LongestSampleInterval = 80000000;

static void OnChildSignal(int) {}

// SIGCHLD at its default is thrown away before it could end a sleep, so it
// is caught for the wait, by a handler that does nothing; a handler of
// someone else's wakes the sleep just as well and is left alone. The
// signals passed on to the command are held back too, so that their handler
// runs only in the sleep, never between the reap and the moment the
// command's pid is let go.
static bool HoldWakeUps(sigset_t* previous, sigset_t* sleeping) {
    // Failing, the readings still wake it.
    bool caught = CatchIfDefault(SIGCHLD, OnChildSignal, 0);
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGCHLD);
    AddSignalsForChild(&held);
    sigprocmask(SIG_BLOCK, &held, previous);
    // Asleep, the mask wexel had: a signal it was started with blocked stays
    // blocked, as it is in the command. SIGCHLD must wake it whatever.
    *sleeping = *previous;
    sigdelset(sleeping, SIGCHLD);
    return caught;
}

// A tracing stop is let go with PTRACE_DETACH and the signal that stopped
// the command, which is then delivered as if no tracer had been there.
static void ReleaseTraceStop(pid_t pid, int signalNumber) {
    ptrace(PTRACE_DETACH, pid, NULL, reinterpret_cast<void*>(static_cast<long>(signalNumber)));
}

// True once the command has ended and is reaped, or is lost to another
// reaper (then LostError says why).
static bool ReapIfEnded(Child* child) {
    for (;;) {
        int status;
        struct rusage usage;
        pid_t result = osWait4(child->Pid, &status, WNOHANG, &usage);
        if (result == 0) return false;
        if (result < 0 && errno == EINTR) continue;
        if (result > 0 && WIFSTOPPED(status)) {
            ReleaseTraceStop(child->Pid, WSTOPSIG(status));
            continue;
        }
        child->EndTime = BootTime();
        child->Ended = true;
        child->LostError = result < 0 ? errno : 0;
        if (result > 0) {
            child->WaitStatus = status;
            child->Usage = usage;
        }
        return true;
    }
}

// waitid with WNOWAIT names an ended child without reaping it, so the
// command itself is left for ReapIfEnded.
static void ReapOtherChildren(pid_t command) {
    for (;;) {
        siginfo_t ended;
        memset(&ended, 0, sizeof(ended));
        if (waitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) != 0) return;
        if (ended.si_pid == 0 || ended.si_pid == command) return;
        if (waitpid(ended.si_pid, NULL, WNOHANG) <= 0) return;
    }
}

static void SleepUnlessWoken(uint64_t nanoseconds, const sigset_t* sleeping) {
    struct timespec timeout = {static_cast<time_t>(nanoseconds / 1000000000u),
                               static_cast<long>(nanoseconds % 1000000000u)};
    osPpoll(NULL, 0, &timeout, sleeping);
}

static bool WaitWithHeldWakeUps(Child* child, long timeoutMilliseconds, const sigset_t* sleeping) {
    uint64_t deadline = BootTime() + static_cast<uint64_t>(timeoutMilliseconds) * 1000000u;
    uint64_t interval = FirstSampleInterval;
    uint64_t nextSample = child->StartTime + interval;
    while (!ReapIfEnded(child)) {
        ReapOtherChildren(child->Pid);
        uint64_t now = BootTime();
        if (now >= nextSample) {
            SamplePeakVirtual(child);
            if (interval < LongestSampleInterval) interval *= 2;
            if (interval > LongestSampleInterval) interval = LongestSampleInterval;
            nextSample = now + interval;
            continue;
        }
        uint64_t wake = nextSample;
        if (timeoutMilliseconds >= 0) {
            if (now >= deadline) return false;
            if (deadline < wake) wake = deadline;
        }
        SleepUnlessWoken(wake - now, sleeping);
    }
    return true;
}

bool WaitForChild(Child* child, long timeoutMilliseconds) {
    if (child->Ended) return true;
    sigset_t previous, sleeping;
    bool caught = HoldWakeUps(&previous, &sleeping);
    bool ended = WaitWithHeldWakeUps(child, timeoutMilliseconds, &sleeping);
    if (ended) {
        StopPassingSignals();
        NoteChildEnd(child);
    }
    if (caught) signal(SIGCHLD, SIG_DFL);
    sigprocmask(SIG_SETMASK, &previous, NULL);
    return ended;
}
