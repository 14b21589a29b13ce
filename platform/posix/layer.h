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
    int PidFd;     // -1 where the kernel has no pidfd_open
    int StatusFd;  // /proc/<pid>/status, -1 until the first reading opens it
    bool Reaped;
    int ReapError;  // errno of a failed wait4: the child's end is unknown
    int WaitStatus;
    struct rusage Usage;
    ULONGLONG CreationTime;  // CLOCK_MONOTONIC, 100 ns units
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

// CLOCK_MONOTONIC in 100 ns units.
ULONGLONG MonotonicTime(void);

void SetLastErrorCode(DWORD code);

// The signals whose disposition this layer changed from the default, to be
// set back to the default in a child.
void GetSignalsChangedFromDefault(sigset_t* signals);

// The memory queries the module table hands out.
BOOL WINAPI K32GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);
BOOL WINAPI GetProcessMemoryInfo(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);

#endif
