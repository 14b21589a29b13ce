// Switches that let the tests take parts of the Linux layer away, to reach
// the paths that a healthy Linux system never takes. The product never
// changes them.
#ifndef WEXEL_PLATFORM_POSIX_SEAMS_H
#define WEXEL_PLATFORM_POSIX_SEAMS_H

#include "platform.h"

struct PosixSeams {
    bool HideKernelMemoryQuery;  // kernel32.dll loses K32GetProcessMemoryInfo
    bool HidePsapi;              // Psapi.dll cannot be loaded
    bool FailMemoryQuery;        // both memory queries return FALSE
    bool FailProcessTimes;       // GetProcessTimes returns FALSE
    bool FailExitCode;           // GetExitCodeProcess returns FALSE
    bool OverrideMoments;        // GetProcessTimes reports the two below
    ULONGLONG CreationTime;
    ULONGLONG ExitTime;
};

extern PosixSeams g_PosixSeams;

#endif
