/* What one reading of a child's virtual peak costs the reader, split into
 * its two parts: waking from a ppoll on the child's pidfd after INTERVAL_MS,
 * and reading /proc/<pid>/status. The same loop as wexel's wait, alternating
 * wake-only and wake-and-read rounds so that both see the same machine.
 * Each round's CPU is the reader's own CPU clock around the ppoll and the read.
 *
 * usage: reading_cost ROUNDS INTERVAL_MS OUT.json */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static long long CpuNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void Die(const char *what) {
    perror(what);
    exit(1);
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: reading_cost ROUNDS INTERVAL_MS OUT.json\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    long intervalMs = atol(argv[2]);
    pid_t child = fork();
    if (child < 0) Die("fork");
    if (child == 0) {
        pause();
        _exit(0);
    }
    int pidFd = (int)syscall(SYS_pidfd_open, child, 0);
    if (pidFd < 0) Die("pidfd_open");
    char path[64], status[4096];
    snprintf(path, sizeof(path), "/proc/%d/status", (int)child);
    int statusFd = open(path, O_RDONLY | O_CLOEXEC);
    if (statusFd < 0) Die(path);

    long long *wakeOnly = calloc(rounds, sizeof(long long));
    long long *wakeRead = calloc(rounds, sizeof(long long));
    if (!wakeOnly || !wakeRead) Die("calloc");
    for (int r = 0; r < 2 * rounds; ++r) {
        struct timespec wait = {intervalMs / 1000, (intervalMs % 1000) * 1000000L};
        struct pollfd exited = {pidFd, POLLIN, 0};
        long long before = CpuNs();
        if (ppoll(&exited, 1, &wait, NULL) != 0) Die("ppoll");
        if (r % 2 == 1 && pread(statusFd, status, sizeof(status) - 1, 0) <= 0) Die("pread");
        long long cost = CpuNs() - before;
        if (r % 2 == 0) wakeOnly[r / 2] = cost;
        else wakeRead[r / 2] = cost;
    }
    kill(child, SIGKILL);
    waitpid(child, NULL, 0);

    FILE *out = fopen(argv[3], "w");
    if (out == NULL) Die(argv[3]);
    fprintf(out, "{\"interval_ms\": %ld, \"wake_only_ns\": [", intervalMs);
    for (int r = 0; r < rounds; ++r) fprintf(out, "%s%lld", r ? ", " : "", wakeOnly[r]);
    fprintf(out, "], \"wake_and_read_ns\": [");
    for (int r = 0; r < rounds; ++r) fprintf(out, "%s%lld", r ? ", " : "", wakeRead[r]);
    fprintf(out, "]}\n");
    if (fclose(out) != 0) Die(argv[3]);
    return 0;
}
