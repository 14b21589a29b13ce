// The subset of the Windows API that wexel is written against, provided on
// Linux by adapters over the Linux module in linux/. Names and types are
// Win32's, and only what wexel calls is here. The values come from Linux:
//
//   Win32                          Linux
//   GetCommandLineW                main's argv, quoted as the Windows run-time
//                                  would read it back (command_line.cpp); one
//                                  byte per 16-bit unit, zero-extended
//   CreateProcessW                 the argv behind the command tail, started
//                                  with clone(CLONE_VM | CLONE_VFORK) and
//                                  found by PATH as execvp finds it; /bin/sh
//                                  for a text file with no #! line
//   GetLastError                   errno of the failed call (ENOENT 2, EACCES 13)
//   WaitForSingleObject            wait4 on the command alone, WNOHANG, between
//                                  sleeps in sigtimedwait (linux/wait.cpp)
//   GetExitCodeProcess             the exit status, or 128 + N when the command
//                                  was killed by signal N; fails with ECHILD
//                                  when another reaper took the status, as do
//                                  the times and the memory figures
//   GetProcessTimes: creation,     CLOCK_BOOTTIME just before the start and at
//     exit                         the reap, in 100 ns units; not wall-clock
//   GetProcessTimes: kernel, user  ru_stime and ru_utime from wait4: the
//                                  command with the descendants it waited for
//   GetTickCount                   CLOCK_BOOTTIME in milliseconds, wrapping
//   PeakWorkingSetSize             ru_maxrss from wait4, KiB times 1024
//   PeakPagefileUsage              the largest VmPeak read from /proc while the
//                                  command ran; ru_maxrss when none was read
//   SetConsoleCtrlHandler          SIGINT (Ctrl+C) and SIGQUIT (Ctrl+Break)
//   GetModuleHandleW, LoadLibraryW a fixed table of the two modules asked for
//     GetProcAddress               (modules.cpp)
#ifndef WEXEL_PLATFORM_POSIX_PLATFORM_H
#define WEXEL_PLATFORM_POSIX_PLATFORM_H

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define WINAPI

typedef int BOOL;
typedef unsigned int DWORD;
typedef unsigned long long ULONGLONG;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef void* LPVOID;
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const char* LPCSTR;

#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define CTRL_C_EVENT 0u
#define CTRL_BREAK_EVENT 1u

// Wide literals: UTF-16 on both platforms (Windows builds define UNICODE).
#define TEXT(quote) u##quote

// printf length prefix for a ULONGLONG. The Windows run-time spells it "I64".
#define FORMAT_I64 "ll"

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

// Only cb is read; the rest is kept so that code filling the record with
// zeros and setting cb means the same on both platforms.
typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwFlags;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

typedef struct _PROCESS_MEMORY_COUNTERS {
    DWORD cb;
    DWORD PageFaultCount;
    SIZE_T PeakWorkingSetSize;
    SIZE_T WorkingSetSize;
    SIZE_T QuotaPeakPagedPoolUsage;
    SIZE_T QuotaPagedPoolUsage;
    SIZE_T QuotaPeakNonPagedPoolUsage;
    SIZE_T QuotaNonPagedPoolUsage;
    SIZE_T PagefileUsage;
    SIZE_T PeakPagefileUsage;
} PROCESS_MEMORY_COUNTERS, *PPROCESS_MEMORY_COUNTERS;

typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD dwCtrlType);
typedef void (*FARPROC)(void);
typedef struct PosixModule* HMODULE;

// Command line and console (command_line.cpp, console.cpp).
LPWSTR GetCommandLineW(void);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE HandlerRoutine, BOOL Add);

// Processes (processes.cpp, memory_counters.cpp).
BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                    LPSECURITY_ATTRIBUTES lpProcessAttributes,
                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                    DWORD dwCreationFlags, LPVOID lpEnvironment,
                    LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                    LPPROCESS_INFORMATION lpProcessInformation);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL GetProcessTimes(HANDLE hProcess, LPFILETIME lpCreationTime, LPFILETIME lpExitTime,
                     LPFILETIME lpKernelTime, LPFILETIME lpUserTime);
BOOL GetExitCodeProcess(HANDLE hProcess, DWORD* lpExitCode);
BOOL CloseHandle(HANDLE hObject);
DWORD GetLastError(void);
void SetLastError(DWORD dwErrCode);

// Clock and strings (clock_and_strings.cpp).
DWORD GetTickCount(void);
int lstrlenW(LPCWSTR lpString);
LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);

// Modules (modules.cpp): a fixed table standing in for the loader, which
// hands out K32GetProcessMemoryInfo and GetProcessMemoryInfo.
HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

#endif
