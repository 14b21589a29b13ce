// The Win32 calls whose failure the core handles, reached through a table of
// the same kind as the Linux module's system calls (linux/system_calls.h),
// so that a test can make any of them fail, or report other figures, where
// Linux itself never would.
#ifndef WEXEL_PLATFORM_POSIX_WIN32_CALLS_H
#define WEXEL_PLATFORM_POSIX_WIN32_CALLS_H

#include "linux/system_calls.h"
#include "platform.h"

enum Win32CallIndex {
    Win32GetProcessTimes,
    Win32GetExitCodeProcess,
    Win32K32GetProcessMemoryInfo,
    Win32GetProcessMemoryInfo,
    Win32LoadLibraryW,
    Win32CallCount
};

extern SystemCall g_win32Calls[Win32CallCount];

#define WEXEL_WIN32_CALL(index, type) (reinterpret_cast<type>(g_win32Calls[index].Current))

#define osGetProcessTimes                            \
    WEXEL_WIN32_CALL(Win32GetProcessTimes,           \
                     BOOL(WINAPI*)(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME))
#define osGetExitCodeProcess \
    WEXEL_WIN32_CALL(Win32GetExitCodeProcess, BOOL(WINAPI*)(HANDLE, DWORD*))
#define osLoadLibraryW WEXEL_WIN32_CALL(Win32LoadLibraryW, HMODULE(WINAPI*)(LPCWSTR))

// A memory query as GetProcAddress hands it out: NULL when a test has
// taken the export away.
FARPROC MemoryQueryExport(Win32CallIndex index);

// The loader's own LoadLibraryW (modules.cpp).
HMODULE WINAPI LoadModule(LPCWSTR name);

#endif
