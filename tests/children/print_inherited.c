/* Prints what a process inherits besides its arguments: the open
 * descriptors, the blocked signals and the dispositions of the signals a
 * launcher is likely to change. Lines:
 *   fds 0 1 2 ...
 *   blocked N N ...         (signal numbers)
 *   SIGINT default|ignored|caught    (one line per signal) */
#define _POSIX_C_SOURCE 200809L
#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

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

static void PrintBlocked(void) {
    sigset_t blocked;
    sigprocmask(SIG_BLOCK, NULL, &blocked);
    printf("blocked");
    for (int signalNumber = 1; signalNumber < 65; ++signalNumber)
        if (sigismember(&blocked, signalNumber) == 1) printf(" %d", signalNumber);
    printf("\n");
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
    return 0;
}
