// The wait for the command. A Windows process handle is signalled once,
// when the process has ended; on Linux wexel makes sure of that itself:
//  - Every signal is blocked from just before the start, and the wait
//    sleeps in sigtimedwait, so that an end that comes between a look and
//    the sleep still wakes the sleep (SIGCHLD), and each signal for the
//    command is taken with its sender (signals_for_child.cpp).
//  - Whatever wakes it (a SIGCHLD from anyone, a signal for the command,
//    the next reading of the virtual peak), it asks wait4 about this
//    command alone, without blocking. Only the command's end ends the wait.
//    Nothing is sent to the command's pid after that: the kernel may give
//    the number to another process once the command is reaped.
//  - A job-control stop of the command (WUNTRACED) stops wexel the same
//    way (job_control.cpp).
//  - A command that made wexel its tracer (PTRACE_TRACEME, a common check
//    for a debugger) stops for it at every signal; wexel lets it go at
//    once with that signal, so the command runs on as if untraced.
//  - Other children that end (orphans that wexel inherits as PID 1 of a
//    container or as a subreaper) are reaped by their own pid; the
//    command's status and usage are never taken by mistake.
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

// A stop that wexel hears of as the command's tracer is a signal-delivery
// stop, which PTRACE_GETSIGINFO describes (for any other stop it fails).
// It is let go with PTRACE_DETACH and the signal, which is then delivered as
// if no tracer had been there. The SIGTRAP that the kernel raises after an
// exec under a tracer (si_code SI_USER, sent by the command to itself)
// exists only because of the tracer, and is dropped. False when the stop was
// not a tracing stop.
static bool ReleaseTraceStop(pid_t pid, int signalNumber) {
    siginfo_t stop;
    if (ptrace(PTRACE_GETSIGINFO, pid, NULL, &stop) != 0) return false;
    if (signalNumber == SIGTRAP && stop.si_code == SI_USER && stop.si_pid == pid) signalNumber = 0;
    ptrace(PTRACE_DETACH, pid, NULL, reinterpret_cast<void*>(static_cast<long>(signalNumber)));
    return true;
}

// True once the command has ended and is reaped, or is lost to another
// reaper (then LostError says why).
static bool ReapIfEnded(Child* child) {
    for (;;) {
        int status;
        struct rusage usage;
        pid_t result = osWait4(child->Pid, &status, WNOHANG | WUNTRACED, &usage);
        if (result == 0) return false;
        if (result < 0 && errno == EINTR) continue;
        if (result > 0 && WIFSTOPPED(status)) {
            if (!ReleaseTraceStop(child->Pid, WSTOPSIG(status)))
                FollowChildStop(child, WSTOPSIG(status));
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
        if (osWaitid(P_ALL, 0, &ended, WEXITED | WNOHANG | WNOWAIT) != 0) return;
        if (ended.si_pid == 0 || ended.si_pid == command) return;
        if (waitpid(ended.si_pid, NULL, WNOHANG) <= 0) return;
    }
}

static bool WaitForEnd(Child* child, long timeoutMilliseconds) {
    uint64_t deadline = BootTime() + static_cast<uint64_t>(timeoutMilliseconds) * 1000000u;
    uint64_t interval = FirstSampleInterval;
    uint64_t nextSample = child->StartTime + interval;
    while (!ReapIfEnded(child)) {
        ReapOtherChildren(child->Pid);
        uint64_t now = BootTime();
        if (now >= nextSample) {
            SamplePeakVirtual(child);
            interval *= 2;
            if (interval > LongestSampleInterval) interval = LongestSampleInterval;
            nextSample = now + interval;
            continue;
        }
        uint64_t wake = nextSample;
        if (timeoutMilliseconds >= 0) {
            if (now >= deadline) return false;
            if (deadline < wake) wake = deadline;
        }
        siginfo_t info;
        if (TakeSignal(&info, wake - now) > 0) RouteSignal(child, &info);
    }
    return true;
}

// A wait that times out leaves the signals held for the next one.
bool WaitForChild(Child* child, long timeoutMilliseconds) {
    if (child->Ended) return true;
    if (!WaitForEnd(child, timeoutMilliseconds)) return false;
    TakeTerminalBack(child);
    ReleaseSignalsAfterReap(child);
    NoteChildEnd(child);
    return true;
}
