#include "measured_run.h"

typedef BOOL(WINAPI* MemoryInfoFunction)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);

static ULONGLONG TimeValue(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

static void ReadTimes(HANDLE process, RunMeasurement* measurement) {
    FILETIME creation, exit, kernel, user;
    // A failed call leaves the four undefined: nothing of them is read.
    measurement->TimesValid = GetProcessTimes(process, &creation, &exit, &kernel, &user) != 0;
    if (!measurement->TimesValid) return;
    measurement->CreationTime = TimeValue(creation);
    measurement->ExitTime = TimeValue(exit);
    measurement->KernelTime = TimeValue(kernel);
    measurement->UserTime = TimeValue(user);
    // Creation and exit are wall-clock moments on Windows: a clock set back
    // during the run puts the exit first, and their difference would read as
    // thousands of years. The tick count around the run is the honest figure.
    if (measurement->ExitTime < measurement->CreationTime) measurement->TimesValid = false;
}

static int ReadExitCode(HANDLE process) {
    DWORD code;
    if (!GetExitCodeProcess(process, &code)) {
        printf("\nGetExitCodeProcess error\n");
        return FailureStatus;
    }
    int status = static_cast<int>(code);
    if (status != 0) printf("\nExit code: %d\n", status);
    return status;
}

// Function pointers come back from the loader typeless; the detour through
// a plain function type keeps the compiler from objecting to the cast.
static MemoryInfoFunction AsMemoryInfoFunction(FARPROC address) {
    return reinterpret_cast<MemoryInfoFunction>(reinterpret_cast<void (*)(void)>(address));
}

// Newer kernels export the query themselves; older systems have it only in
// the process status library, which is loaded here and kept to the end.
static MemoryInfoFunction FindMemoryInfoFunction() {
    HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
    FARPROC address = GetProcAddress(kernel, "K32GetProcessMemoryInfo");
    if (address == NULL) {
        HMODULE psapi = LoadLibraryW(TEXT("Psapi.dll"));
        if (psapi != NULL) address = GetProcAddress(psapi, "GetProcessMemoryInfo");
    }
    return address != NULL ? AsMemoryInfoFunction(address) : NULL;
}

static void ReadMemory(HANDLE process, RunMeasurement* measurement) {
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof(counters));
    MemoryInfoFunction query = FindMemoryInfoFunction();
    measurement->MemoryValid =
        query != NULL && query(process, &counters, sizeof(counters)) != 0;
    measurement->PeakPagefileUsage = counters.PeakPagefileUsage;
    measurement->PeakWorkingSetSize = counters.PeakWorkingSetSize;
}

int RunMeasured(LPWSTR commandBuffer, RunMeasurement* measurement) {
    memset(measurement, 0, sizeof(*measurement));
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child;
    memset(&child, 0, sizeof(child));

    DWORD firstTick = GetTickCount();
    if (!CreateProcessW(NULL, commandBuffer, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &child)) {
        printf("\nCan't find program. Error code = %d\n", static_cast<int>(GetLastError()));
        return FailureStatus;
    }
    measurement->Started = true;
    CloseHandle(child.hThread);

    WaitForSingleObject(child.hProcess, INFINITE);
    // The order below is fixed: times before the second tick, the exit-code
    // message before any of the report, the handle kept for the memory query.
    ReadTimes(child.hProcess, measurement);
    measurement->ElapsedTicks = GetTickCount() - firstTick;
    int status = ReadExitCode(child.hProcess);
    ReadMemory(child.hProcess, measurement);
    CloseHandle(child.hProcess);
    return status;
}
