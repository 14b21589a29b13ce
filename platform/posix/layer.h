// What the files of the Linux layer share with each other, and nothing that
// wexel itself may call.
#ifndef WEXEL_PLATFORM_POSIX_LAYER_H
#define WEXEL_PLATFORM_POSIX_LAYER_H

#include "platform.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>

// A process handle and a thread handle point into the same record, which
// is released when both have been closed.
struct PosixHandle {
    unsigned Magic;
    struct PosixProcess* Process;
};

struct PosixProcess {
    PosixHandle ProcessHandle;
    PosixHandle ThreadHandle;
    pid_t Pid;
    int StatusFd;  // /proc/<pid>/status, -1 until the first reading opens it
    bool Reaped;
    int ReapError;  // errno of a failed wait4: the child's end is unknown
    int WaitStatus;
    struct rusage Usage;
    ULONGLONG CreationTime;  // CLOCK_BOOTTIME, 100 ns units
    ULONGLONG ExitTime;
    ULONGLONG PeakVirtualBytes;  // largest VmPeak seen; 0 when never read
};

// The process record behind a process or thread handle, or NULL.
PosixProcess* ProcessFromHandle(HANDLE handle);

// Reads the child's VmPeak now and keeps the largest reading.
void SamplePeakVirtual(PosixProcess* process);

// Lets go of what the spawn does not need and sets wexel's own resident
// peak back to what is left, since the child's record starts from it.
void LowerOwnPeakBeforeSpawn(void);

// CLOCK_BOOTTIME in 100 ns units.
ULONGLONG BootTime(void);

void SetLastErrorCode(DWORD code);

// Gives a signal that is at its default action the handler (or SIG_IGN),
// with one call; one ignored or handled by someone else is put back as it
// was. True when the handler is now in place (console.cpp).
bool ReplaceDefaultAction(int signalNumber, void (*handler)(int), int flags);

// What wexel was started with (startup.cpp): its arguments, and the signals
// whose disposition it changed from the default before main, to be set back
// to the default in a child.
void GetStartupArguments(int* argumentCount, char*** arguments);
void GetSignalsChangedFromDefault(sigset_t* signals);

// Arguments laid out one after the other, each ended by a NUL, made into a
// NULL-terminated vector in one heap block; NULL when memory is exhausted.
char** ReadArgumentBlock(const char* block, size_t length, int* argumentCount);

// Starts the program named by arguments[0] as posix_spawnp would, and runs
// a file the kernel cannot with /bin/sh as execvp does (spawn.cpp). Returns
// 0 or an errno value.
int SpawnProgram(pid_t* pid, char** arguments);

// Signals for wexel alone that are the child's to act on (forwarding.cpp).
// Caught from before the launch, so that none is lost, then passed on to
// pid; after the reap (pid 0) they are dropped. Stop undoes the catching and
// raises what came while there was no child.
void CatchSignalsForChild(void);
void PassSignalsTo(pid_t pid);
void StopCatchingSignalsForChild(void);
void AddSignalsForChild(sigset_t* signals);

// Waits until the child has ended and reaps it, reading its virtual peak on
// the way (wait.cpp). False when the time ran out first.
bool WaitForChildEnd(PosixProcess* process, DWORD milliseconds);

// wexel's own end follows the child's (ending.cpp): the state of its
// standard output is noted before the launch, and the rest is settled
// after the reap.
void NoteOutputBeforeLaunch(void);
void EndAsChildEnded(int waitStatus);

// The memory queries the module table hands out.
BOOL WINAPI K32GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);
BOOL WINAPI GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);

#endif
