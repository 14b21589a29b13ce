/* Spins in user mode until its own CPU clock has advanced by the given
 * number of milliseconds, however long that takes on a loaded machine. */
#define _POSIX_C_SOURCE 200809L
#include <stdlib.h>
#include <time.h>

static double CpuSeconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) / 1000 : 0;
    double end = CpuSeconds() + seconds;
    volatile unsigned long spin = 0;
    // The clock is a system call: read it seldom, so that the time burnt
    // shows almost all as user time.
    while (CpuSeconds() < end) {
        for (int i = 0; i < 100000; ++i) spin = spin + 1;
    }
    return 0;
}
