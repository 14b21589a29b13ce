/* Prints "ready" once SIGRTMIN+3 is blocked, waits for one and prints the
 * value it was queued with:
 *   value N */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdio.h>

int main(void) {
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, SIGRTMIN + 3);
    sigprocmask(SIG_BLOCK, &only, NULL);
    printf("ready\n");
    fflush(stdout);
    siginfo_t info;
    if (sigwaitinfo(&only, &info) < 0) {
        perror("print_queued_value: sigwaitinfo");
        return 1;
    }
    printf("value %d\n", info.si_value.sival_int);
    return 0;
}
