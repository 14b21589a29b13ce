/* Ends by the signal whose number is given, whatever disposition and mask
 * it inherited. */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
    int signalNumber = argc > 1 ? atoi(argv[1]) : SIGKILL;
    signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, NULL);
    kill(getpid(), signalNumber);
    return 1;
}
