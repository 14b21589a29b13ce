// Test child: keeps a processor busy until its own user and kernel time
// reach the milliseconds given as its one argument, then ends with 0.
#include <windows.h>

#include <stdlib.h>

static ULONGLONG ProcessTimeMilliseconds() {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) return ~0ull;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (k.QuadPart + u.QuadPart) / 10000;
}

int main(int argc, char** argv) {
    if (argc != 2) return 100;
    ULONGLONG target = strtoull(argv[1], NULL, 10);
    volatile unsigned sink = 0;
    while (ProcessTimeMilliseconds() < target)
        for (unsigned i = 0; i < 100000; ++i) sink = sink + i;
    return 0;
}
