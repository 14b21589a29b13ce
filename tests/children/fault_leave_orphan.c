/* Starts a background process that holds the inherited standard output and
 * error open for the given number of milliseconds, prints its pid and ends
 * at once with the given status, leaving it behind. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    long milliseconds = argc > 1 ? atol(argv[1]) : 0;
    int status = argc > 2 ? atoi(argv[2]) : 0;
    fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) {
        perror("fault_leave_orphan: fork");
        return 1;
    }
    if (pid == 0) {
        struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
        while (nanosleep(&pause, &pause) != 0) {
        }
        _exit(0);
    }
    printf("%d\n", (int)pid);
    return status;
}
