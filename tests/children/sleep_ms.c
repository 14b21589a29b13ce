/* Sleeps for the given number of milliseconds and ends with status 0. With
 * "span" after the milliseconds, it first prints how long it has run, from
 * main to its end, in microseconds of CLOCK_BOOTTIME: the command's own
 * clock. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static long long Microseconds(void) {
    struct timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

int main(int argc, char** argv) {
    long long start = Microseconds();
    long milliseconds = argc > 1 ? atol(argv[1]) : 0;
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    if (argc > 2 && strcmp(argv[2], "span") == 0) printf("%lld\n", Microseconds() - start);
    return 0;
}
