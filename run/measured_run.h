#ifndef WEXEL_RUN_MEASURED_RUN_H
#define WEXEL_RUN_MEASURED_RUN_H

#include "platform.h"

// What one measured run collected. Times are in 100 ns units; the four
// times mean something only when TimesValid, the memory figures only when
// MemoryValid, and nothing at all unless Started.
struct RunMeasurement {
    bool Started;
    bool TimesValid;
    ULONGLONG CreationTime;
    ULONGLONG ExitTime;
    ULONGLONG KernelTime;
    ULONGLONG UserTime;
    DWORD ElapsedTicks;
    bool MemoryValid;
    ULONGLONG PeakPagefileUsage;
    ULONGLONG PeakWorkingSetSize;
};

// The status wexel ends with when its own part fails.
const int FailureStatus = 999;

// Starts commandBuffer as a child in this console, waits for it and fills
// *measurement. Returns the child's exit code, or FailureStatus.
int RunMeasured(LPWSTR commandBuffer, RunMeasurement* measurement);

#endif
