/* Sleeps for the given number of milliseconds, then ends with 0 when its
 * process group is its terminal's foreground group, 3 when it is not and 4
 * when its standard input is no terminal. */
#define _POSIX_C_SOURCE 200809L
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    long milliseconds = argc > 1 ? atol(argv[1]) : 0;
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    pid_t foreground = tcgetpgrp(STDIN_FILENO);
    if (foreground < 0) return 4;
    return foreground == getpgrp() ? 0 : 3;
}
