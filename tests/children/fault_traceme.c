/* Makes its parent its tracer, as a check for a debugger does, then takes a
 * signal of its own, sleeps for the given number of milliseconds and ends
 * with status 4. Prints "handled" once its handler has run and "untraced"
 * when no tracer holds it by then. */
#define _GNU_SOURCE
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ptrace.h>
#include <time.h>

static volatile sig_atomic_t g_handled;

static void OnSignal(int signalNumber) {
    (void)signalNumber;
    g_handled = 1;
}

static int Traced(void) {
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    int traced = 1;
    while (status != NULL && fgets(line, sizeof(line), status) != NULL)
        if (strncmp(line, "TracerPid:", 10) == 0) traced = atoi(line + 10) != 0;
    if (status != NULL) fclose(status);
    return traced;
}

int main(int argc, char** argv) {
    long milliseconds = argc > 1 ? atol(argv[1]) : 0;
    if (ptrace(PTRACE_TRACEME, 0, NULL, NULL) != 0) {
        perror("fault_traceme: ptrace");
        return 1;
    }
    signal(SIGUSR1, OnSignal);
    raise(SIGUSR1);
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    if (g_handled) printf("handled\n");
    if (!Traced()) printf("untraced\n");
    return 4;
}
