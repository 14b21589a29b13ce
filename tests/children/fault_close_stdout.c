/* Closes its standard output and standard error at once, then sleeps for
 * the given number of milliseconds and ends with the given status. */
#define _POSIX_C_SOURCE 200809L
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    long milliseconds = argc > 1 ? atol(argv[1]) : 0;
    int status = argc > 2 ? atoi(argv[2]) : 0;
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    return status;
}
