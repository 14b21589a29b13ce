// On Windows wexel is written straight against kernel32 and msvcrt.
#ifndef WEXEL_PLATFORM_WIN32_PLATFORM_H
#define WEXEL_PLATFORM_WIN32_PLATFORM_H

// stdio.h comes first, while the build's __USE_MINGW_ANSI_STDIO=0 still
// stands: MinGW's libstdc++ forces it to 1 as soon as any C++ wrapper header
// is read (windows.h pulls in stdlib.h, which is one), and printf would then
// be MinGW's own replacement, which neither knows "I64" nor lives in
// msvcrt.dll. This header is the first that every source file includes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// For the PROCESS_MEMORY_COUNTERS record only: the query functions are
// looked up at run time, never imported.
#include <psapi.h>

// printf length prefix for a ULONGLONG: msvcrt's own "I64".
#define FORMAT_I64 "I64"

#endif
