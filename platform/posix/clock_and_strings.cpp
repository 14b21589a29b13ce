#include "linux/child.h"
#include "platform.h"

static thread_local DWORD t_lastError;

DWORD GetLastError(void) {
    return t_lastError;
}

void SetLastError(DWORD code) {
    t_lastError = code;
}

// Milliseconds of CLOCK_BOOTTIME, wrapping at 2^32 like the Windows tick
// count.
DWORD GetTickCount(void) {
    return static_cast<DWORD>(BootTime() / 1000000);
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
