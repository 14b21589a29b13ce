/* Prints what a process inherits besides its arguments: the open
 * descriptors, the blocked signals and the dispositions of the signals a
 * launcher is likely to change. Lines:
 *   fds 0 1 2 ...
 *   blocked N N ...         (signal numbers)
 *   pending N N ...
 *   SIGINT default|ignored|caught    (one line per signal)
 *   deathsig N              (the parent-death signal, 0 for none)
 *   policy N PRIORITY       (SCHED_RESET_ON_FORK included in N)
 *   timers VIRTUAL PROF     (1 for an armed CPU timer, else 0) */
#define _GNU_SOURCE
#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/time.h>

static int CompareInts(const void* a, const void* b) {
    return *(const int*)a - *(const int*)b;
}

static void PrintDescriptors(void) {
    DIR* directory = opendir("/proc/self/fd");
    if (directory == NULL) {
        perror("print_inherited: /proc/self/fd");
        exit(1);
    }
    int fds[1024];
    int count = 0;
    struct dirent* entry;
    while ((entry = readdir(directory)) != NULL && count < 1024) {
        if (entry->d_name[0] == '.') continue;
        int fd = atoi(entry->d_name);
        if (fd != dirfd(directory)) fds[count++] = fd;
    }
    closedir(directory);
    qsort(fds, (size_t)count, sizeof(fds[0]), CompareInts);
    printf("fds");
    for (int i = 0; i < count; ++i) printf(" %d", fds[i]);
    printf("\n");
}

static void PrintSignals(const char* name, const sigset_t* signals) {
    printf("%s", name);
    for (int signalNumber = 1; signalNumber < 65; ++signalNumber)
        if (sigismember(signals, signalNumber) == 1) printf(" %d", signalNumber);
    printf("\n");
}

static void PrintBlocked(void) {
    sigset_t blocked, pending;
    sigprocmask(SIG_BLOCK, NULL, &blocked);
    PrintSignals("blocked", &blocked);
    sigpending(&pending);
    PrintSignals("pending", &pending);
}

static int Armed(int which) {
    struct itimerval timer;
    getitimer(which, &timer);
    return timer.it_value.tv_sec != 0 || timer.it_value.tv_usec != 0;
}

static void PrintWhatForkDrops(void) {
    int deathSignal = 0;
    prctl(PR_GET_PDEATHSIG, &deathSignal);
    printf("deathsig %d\n", deathSignal);
    struct sched_param priority = {0};
    sched_getparam(0, &priority);
    printf("policy %d %d\n", sched_getscheduler(0), priority.sched_priority);
    printf("timers %d %d\n", Armed(ITIMER_VIRTUAL), Armed(ITIMER_PROF));
}

static void PrintDisposition(const char* name, int signalNumber) {
    struct sigaction action;
    sigaction(signalNumber, NULL, &action);
    const char* disposition = action.sa_handler == SIG_DFL   ? "default"
                              : action.sa_handler == SIG_IGN ? "ignored"
                                                             : "caught";
    printf("%s %s\n", name, disposition);
}

int main(void) {
    PrintDescriptors();
    PrintBlocked();
    PrintDisposition("SIGINT", SIGINT);
    PrintDisposition("SIGQUIT", SIGQUIT);
    PrintDisposition("SIGPIPE", SIGPIPE);
    PrintDisposition("SIGTERM", SIGTERM);
    PrintDisposition("SIGHUP", SIGHUP);
    PrintDisposition("SIGCHLD", SIGCHLD);
    PrintDisposition("SIGTSTP", SIGTSTP);
    PrintWhatForkDrops();
    return 0;
}
