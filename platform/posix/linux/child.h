// The Linux side of wexel, in plain Linux terms: it starts the command,
// waits for it, passes on the signals meant for it, reads its memory peaks
// and ends wexel as the command ended. Nothing of Win32 is known here; the
// adapters beside this folder translate for the core, and the start-up in
// ../main.cpp runs the whole life cycle.
//
// Where each part lives:
//   start.cpp              the launch, and /bin/sh for a file the kernel cannot run
//   wait.cpp               the wait: sampling, trace stops, orphans, the reap
//   signals_for_child.cpp  signals sent to wexel that are the command's
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
    // CLOCK_BOOTTIME in nanoseconds: read just before the start, and at the
    // reap (EndTime is valid once Ended).
    uint64_t StartTime;
    uint64_t EndTime;
    // The largest VmPeak read while the command ran, in bytes; 0 while no
    // reading could be taken.
    uint64_t PeakVirtualBytes;
};

// Starts the program named by arguments[0] (found by PATH as posix_spawnp
// finds it) with wexel's environment, directory, descriptors, process group
// and signal mask. Signals for the command are caught from just before the
// start. Returns 0, or an errno value with nothing left running.
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
// the handler is now in place.
bool CatchIfDefault(int signalNumber, void (*handler)(int), int flags);

// The signals whose disposition wexel changed from the default for itself,
// which the command gets back at the default.
void GetSignalsChangedFromDefault(sigset_t* signals);

// Signals sent to wexel that are the command's (signals_for_child.cpp).
// Caught from before the start, so that none is lost; passed on to pid
// from the start on; dropped after the reap. When no command came of the
// start, what came meanwhile was wexel's own after all and takes effect.
void StartCatchingSignalsForChild(void);
void PassSignalsToChild(pid_t pid);
void StopPassingSignals(void);
void GiveSignalsBackAfterFailedStart(void);
void AddSignalsForChild(sigset_t* signals);

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
// was killed, ends by the same signal.
void NoteOutputBeforeStart(void);
void NoteChildEnd(const Child* child);
void GiveOutputFlagsBack(void);
int SignalThatEndedChild(void);
[[noreturn]] void EndBySignal(int signalNumber);

#endif
