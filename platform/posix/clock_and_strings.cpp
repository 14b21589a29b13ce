#include "layer.h"

#include <time.h>

static thread_local DWORD t_lastError;

DWORD GetLastError(void) {
    return t_lastError;
}

void SetLastErrorCode(DWORD code) {
    t_lastError = code;
}

// Windows' clocks go on through a suspend, and so does CLOCK_BOOTTIME; a
// run that spans one has taken that long. Setting the system clock moves
// neither.
ULONGLONG BootTime(void) {
    struct timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<ULONGLONG>(now.tv_sec) * 10000000 +
           static_cast<ULONGLONG>(now.tv_nsec) / 100;
}

// Milliseconds, wrapping at 2^32 like the Windows tick count.
DWORD GetTickCount(void) {
    return static_cast<DWORD>(BootTime() / 10000);
}

int lstrlenW(LPCWSTR string) {
    if (string == NULL) return 0;
    int length = 0;
    while (string[length] != 0) ++length;
    return length;
}

LPWSTR lstrcpyW(LPWSTR destination, LPCWSTR source) {
    LPWSTR out = destination;
    while ((*out++ = *source++) != 0) {
    }
    return destination;
}
