// The Linux side of wexel, in plain Linux terms: it starts the command,
// waits for it, passes on the signals meant for it, reads its memory peaks
// and ends wexel as the command ended. Nothing of Win32 is known here; the
// adapters beside this folder translate for the core, and the start-up in
// ../main.cpp runs the whole life cycle.
//
// Where each part lives:
//   start.cpp              the launch, and what the command inherits
//   wait.cpp               the wait: sampling, trace stops, orphans, the reap
//   signals_for_child.cpp  every signal wexel takes while the command runs:
//                          passed on, the console's, or wexel's own
//   job_control.cpp        the command's stops, mirrored by wexel's own
//   own_signals.cpp        wexel's own dispositions, set at start-up
//   peak_memory.cpp        the command's virtual peak, read while it runs
//   own_footprint.cpp      wexel's own resident floor under the command's figure
//   ending.cpp             wexel's end: its output, and the command's signal
//   clock.cpp              the clock every moment is read from
//   system_calls.cpp       the table through which the calls above are made
#ifndef WEXEL_PLATFORM_POSIX_LINUX_CHILD_H
#define WEXEL_PLATFORM_POSIX_LINUX_CHILD_H

#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/resource.h>
#include <sys/types.h>

// One started command, from StartChild to ReleaseChild.
struct Child {
    // The command's process id, set by StartChild. Once Ended nothing more is
    // sent to it: the kernel may already have given the number to another.
    pid_t Pid;
    // /proc/<Pid>/status, opened at the first reading of the virtual peak;
    // -1 until then, and again once ReleaseChild has closed it.
    int StatusFd;
    // False while the command may be running; true once wait4 has reaped it,
    // or has found it gone without its status (then LostError says why).
    bool Ended;
    // 0, or the errno of the wait4 that found the command gone: ECHILD when
    // someone else in wexel's process reaped it. Meaningful once Ended.
    int LostError;
    // The status wait4 gave (WIFEXITED, WIFSIGNALED): valid once Ended with
    // LostError 0, as is Usage.
    int WaitStatus;
    // The command's resource usage, with that of every descendant it waited
    // for itself.
    struct rusage Usage;
    // True while the command is in a job-control stop (SIGSTOP, SIGTSTP,
    // SIGTTIN, SIGTTOU), as wait4 last told; false once it is continued.
    bool Stopped;
    // CLOCK_BOOTTIME in nanoseconds: read just before the start, and at the
    // reap (EndTime is valid once Ended).
    uint64_t StartTime;
    uint64_t EndTime;
    // The largest VmPeak read while the command ran, in bytes; 0 while no
    // reading could be taken.
    uint64_t PeakVirtualBytes;
};

// Starts the program named by arguments[0] (found by PATH as execvp finds
// it) with what it would have had without wexel: the environment,
// directory, descriptors, process group, signal mask and dispositions that
// wexel was given, its parent-death signal (SIGKILL where wexel was given
// none, so that the command does not outlive a wexel that is killed), its
// real-time policy and its CPU timers. From just before the start every
// signal is held for the wait to take. Returns 0, or an errno value with
// nothing left running.
int StartChild(Child* child, char* const arguments[]);

// Waits until the command has ended and reaps it, reading its virtual peak
// on the way; no limit when timeoutMilliseconds is negative. True once
// child->Ended. At the end, signals are no longer passed on and wexel's
// output is made ready for the report.
bool WaitForChild(Child* child, long timeoutMilliseconds);

// Lets go of what the record holds open.
void ReleaseChild(Child* child);

// CLOCK_BOOTTIME in nanoseconds (clock.cpp).
uint64_t BootTime(void);

// Sets wexel's own signals as the run needs them, before anything else
// (own_signals.cpp): SIGCHLD back at the default, SIGPIPE and SIGXFSZ
// ignored for wexel alone.
void PrepareOwnSignals(void);

// Installs handler for a signal that is at its default action, and leaves
// a signal that is ignored or handled by someone else as it was. True when
// the handler is now in place; the command gets the default back.
bool CatchIfDefault(int signalNumber, void (*handler)(int), int flags);

// Every disposition wexel changed, back as wexel was given it: in the
// command before its exec, and after the reap in wexel itself, but for the
// console's handlers and the two signals of wexel's own output.
void RestoreDispositionsForChild(void);
void RestoreDispositionsAfterReap(void);

// The signals while the command runs (signals_for_child.cpp). HoldSignals
// blocks every signal just before the start and keeps the mask wexel was
// given, which the command starts with. TakeSignal sleeps until a signal
// comes or the time is up (0 then). RouteSignal acts on one: passes it on,
// hands it to the console's handler, or lets it end wexel. After the reap
// (or a failed start), what is still held goes the same way and the mask
// is wexel's own again.
void HoldSignals(void);
const sigset_t* GivenSignalMask(void);
int TakeSignal(siginfo_t* info, uint64_t nanoseconds);
void RouteSignal(Child* child, const siginfo_t* info);
void ReleaseSignalsAfterReap(Child* child);
void ReleaseSignalsAfterFailedStart(void);

// Where Ctrl+C and Ctrl+\ typed at the terminal go while the wait takes
// them: the console's dispatch (../console.cpp).
void SetTerminalInterruptHandler(void (*handler)(int));

// The signal's default action for wexel, now: unblocked and raised.
void ActOnDefault(int signalNumber);

// The command's stops (job_control.cpp): wexel stops by the same signal so
// that its shell sees the job stopped, and once continued it continues the
// command if it is still stopped.
void FollowChildStop(Child* child, int signalNumber);
void ContinueChildIfStopped(Child* child);
// At the command's end, the terminal that the command's own group held
// comes back to wexel's, as a shell takes it back from a job that ended.
void TakeTerminalBack(const Child* child);

// Reads the command's VmPeak now and keeps the largest (peak_memory.cpp).
void SamplePeakVirtual(Child* child);

// A block that wexel holds for its whole run but does not need while the
// command runs (own_footprint.cpp): its pages can be let go before the
// start, and come back unchanged if it is read again. NULL when memory is
// exhausted. Only one such block is let go: the last one allocated.
void* AllocateReleasable(size_t bytes);
void FreeReleasable(void* block, size_t bytes);
void LowerOwnPeakBeforeStart(void);

// wexel's own end (ending.cpp). The output's flags are noted before the
// start; at the reap the command's end is noted and the output made
// blocking for the report; main gives the flags back and, when the command
// was killed, ends by the same signal, with no core file of its own.
void NoteOutputBeforeStart(void);
void NoteChildEnd(const Child* child);
void GiveOutputFlagsBack(void);
int SignalThatEndedChild(void);
[[noreturn]] void EndBySignal(int signalNumber);

#endif
