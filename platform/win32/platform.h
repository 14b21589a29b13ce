// On Windows wexel is written straight against kernel32 and msvcrt.
#ifndef WEXEL_PLATFORM_WIN32_PLATFORM_H
#define WEXEL_PLATFORM_WIN32_PLATFORM_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// For the PROCESS_MEMORY_COUNTERS record only: the query functions are
// looked up at run time, never imported.
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// printf length prefix for a ULONGLONG: msvcrt's own "I64".
#define FORMAT_I64 "I64"

#endif
