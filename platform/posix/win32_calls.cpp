#include "process_handles.h"
#include "win32_calls.h"

template <typename Function>
static SystemCallPointer AsPointer(Function function) {
    return reinterpret_cast<SystemCallPointer>(function);
}

#define WEXEL_ENTRY(name, function) {name, AsPointer(function), AsPointer(function)}

// In the order of Win32CallIndex.
SystemCall g_win32Calls[Win32CallCount] = {
    WEXEL_ENTRY("GetProcessTimes", ProcessTimesOfChild),
    WEXEL_ENTRY("GetExitCodeProcess", ExitCodeOfChild),
    WEXEL_ENTRY("K32GetProcessMemoryInfo", MemoryCountersOfChild),
    WEXEL_ENTRY("GetProcessMemoryInfo", MemoryCountersOfChild),
    WEXEL_ENTRY("LoadLibraryW", LoadModule),
};

BOOL GetProcessTimes(HANDLE process, LPFILETIME creationTime, LPFILETIME exitTime,
                     LPFILETIME kernelTime, LPFILETIME userTime) {
    return osGetProcessTimes(process, creationTime, exitTime, kernelTime, userTime);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    return osGetExitCodeProcess(process, exitCode);
}

HMODULE LoadLibraryW(LPCWSTR name) {
    return osLoadLibraryW(name);
}

FARPROC MemoryQueryExport(Win32CallIndex index) {
    return reinterpret_cast<FARPROC>(g_win32Calls[index].Current);
}
