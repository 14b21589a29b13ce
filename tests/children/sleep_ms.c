/* Sleeps for the given number of milliseconds and ends with status 0. */
#define _POSIX_C_SOURCE 200809L
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
    long milliseconds = argc > 1 ? atol(argv[1]) : 0;
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    return 0;
}
