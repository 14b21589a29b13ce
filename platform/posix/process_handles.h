// What a process handle and a thread handle are on Linux: two handles into
// one record around the Linux module's Child, which is released when both
// have been closed.
#ifndef WEXEL_PLATFORM_POSIX_PROCESS_HANDLES_H
#define WEXEL_PLATFORM_POSIX_PROCESS_HANDLES_H

#include "linux/child.h"
#include "platform.h"

struct ChildHandle {
    struct ChildHandles* Record;
    bool Open;  // false once CloseHandle has closed it
};

struct ChildHandles {
    ChildHandle Process;  // hProcess
    ChildHandle Thread;   // hThread
    Child Command;
};

// The Child behind a handle, or NULL (with the last error set) for none.
Child* ChildFromHandle(HANDLE handle);

// The implementations behind the Win32 calls that tests may replace
// (win32_calls.h): what the Child record holds, in Win32 terms.
BOOL WINAPI ProcessTimesOfChild(HANDLE process, LPFILETIME creationTime, LPFILETIME exitTime,
                                LPFILETIME kernelTime, LPFILETIME userTime);
BOOL WINAPI ExitCodeOfChild(HANDLE process, DWORD* exitCode);
BOOL WINAPI MemoryCountersOfChild(HANDLE process, PPROCESS_MEMORY_COUNTERS counters, DWORD cb);

#endif
