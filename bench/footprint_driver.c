/* What a launcher itself costs while it waits: its own CPU time and peak
 * resident set, read from outside while its child is still alive.
 *
 * The child (bench_child handshake) writes a byte to a pipe as it starts,
 * sleeps, writes another, and then waits for a byte from this driver. At each
 * of its bytes the driver reads the launcher's CPU clock (clock_getcpuclockid:
 * nanoseconds of on-CPU time of the launcher alone; wait4's figures cannot
 * serve, they include the child) and, at the second, its VmHWM; only then
 * does it let the child end. The difference of the two CPU readings is what
 * the launcher spent during the wait itself, and the difference of its
 * voluntary context switches the number of times it woke up in it.
 *
 * usage: footprint_driver OUT.json ROUNDS SLEEP_MS CHILD NAME LAUNCHER [ARG...] [: NAME ...] */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

enum { MaxContenders = 8, MaxRounds = 16, MaxArguments = 32 };

struct Sample {
    long long startCpuNs, endCpuNs, waitWallNs;
    long startSwitches, endSwitches, vmHwmKb, treeMaxRssKb;
};

struct Contender {
    const char *name;
    char **launcher;
    int launcherCount;
    struct Sample samples[MaxRounds];
};

static long long NowNs(clockid_t clock) {
    struct timespec t;
    if (clock_gettime(clock, &t) != 0) return -1;
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void Die(const char *what) {
    perror(what);
    exit(1);
}

static void ReadByte(int fd) {
    char byte;
    if (read(fd, &byte, 1) != 1) Die("child handshake");
}

/* A number from /proc/<pid>/status (kB for the memory lines). */
static long StatusKb(pid_t pid, const char *key) {
    char path[64], status[4096];
    snprintf(path, sizeof(path), "/proc/%d/status", (int)pid);
    FILE *file = fopen(path, "r");
    if (file == NULL) Die(path);
    size_t length = fread(status, 1, sizeof(status) - 1, file);
    fclose(file);
    status[length] = 0;
    const char *line = strstr(status, key);
    return line ? strtol(line + strlen(key), NULL, 10) : -1;
}

static void RunOnce(struct Contender *c, const char *child, const char *sleepMs,
                    struct Sample *sample) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) Die("pipe");
    char readyText[16], goText[16];
    snprintf(readyText, sizeof(readyText), "%d", ready[1]);
    snprintf(goText, sizeof(goText), "%d", go[0]);

    char *argv[MaxArguments];
    int n = 0;
    for (int i = 0; i < c->launcherCount; ++i) argv[n++] = c->launcher[i];
    argv[n++] = (char *)child;
    argv[n++] = "handshake";
    argv[n++] = readyText;
    argv[n++] = goText;
    argv[n++] = (char *)sleepMs;
    argv[n] = NULL;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addclose(&actions, go[1]);
    pid_t pid;
    int error = posix_spawn(&pid, argv[0], &actions, NULL, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        fprintf(stderr, "footprint_driver: cannot start %s: %s\n", argv[0], strerror(error));
        exit(1);
    }
    close(ready[1]);
    close(go[0]);
    clockid_t launcherClock;
    if (clock_getcpuclockid(pid, &launcherClock) != 0) Die("clock_getcpuclockid");

    ReadByte(ready[0]);
    long long started = NowNs(CLOCK_MONOTONIC);
    sample->startCpuNs = NowNs(launcherClock);
    sample->startSwitches = StatusKb(pid, "\nvoluntary_ctxt_switches:");
    ReadByte(ready[0]);
    sample->endCpuNs = NowNs(launcherClock);
    sample->endSwitches = StatusKb(pid, "\nvoluntary_ctxt_switches:");
    sample->waitWallNs = NowNs(CLOCK_MONOTONIC) - started;
    sample->vmHwmKb = StatusKb(pid, "\nVmHWM:");
    char byte = 1;
    if (write(go[1], &byte, 1) != 1) Die("write");
    int status;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) Die("wait4");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "footprint_driver: %s failed (status %d)\n", c->name, status);
        exit(1);
    }
    sample->treeMaxRssKb = usage.ru_maxrss;
    close(ready[0]);
    close(go[1]);
}

int main(int argc, char **argv) {
    if (argc < 7) {
        fprintf(stderr, "usage: footprint_driver OUT.json ROUNDS SLEEP_MS CHILD NAME LAUNCHER [ARG...] [: NAME ...]\n");
        return 2;
    }
    const char *outPath = argv[1];
    int rounds = atoi(argv[2]);
    const char *sleepMs = argv[3], *child = argv[4];
    if (rounds < 1 || rounds > MaxRounds) {
        fprintf(stderr, "footprint_driver: 1 to %d rounds\n", MaxRounds);
        return 2;
    }
    struct Contender cs[MaxContenders];
    int count = 0;
    for (int i = 5; i < argc;) {
        if (count == MaxContenders) {
            fprintf(stderr, "footprint_driver: too many contenders\n");
            return 2;
        }
        struct Contender *c = &cs[count++];
        c->name = argv[i++];
        c->launcher = argv + i;
        while (i < argc && strcmp(argv[i], ":") != 0) ++i;
        c->launcherCount = (int)(argv + i - c->launcher);
        if (i < argc) ++i;
        if (c->launcherCount < 1 || c->launcherCount > MaxArguments - 8) {
            fprintf(stderr, "footprint_driver: bad command for %s\n", c->name);
            return 2;
        }
    }
    for (int r = 0; r < rounds; ++r)
        for (int k = 0; k < count; ++k) {
            int i = (r + k) % count;
            RunOnce(&cs[i], child, sleepMs, &cs[i].samples[r]);
        }

    FILE *out = fopen(outPath, "w");
    if (out == NULL) Die(outPath);
    fprintf(out, "{\"sleep_ms\": %s, \"rounds\": %d, \"contenders\": [\n", sleepMs, rounds);
    for (int i = 0; i < count; ++i) {
        fprintf(out, "{\"name\": \"%s\", \"command\": [", cs[i].name);
        for (int a = 0; a < cs[i].launcherCount; ++a)
            fprintf(out, "%s\"%s\"", a ? ", " : "", cs[i].launcher[a]);
        fprintf(out, "], \"samples\": [\n");
        for (int r = 0; r < rounds; ++r) {
            struct Sample *s = &cs[i].samples[r];
            fprintf(out,
                    " {\"start_cpu_ns\": %lld, \"end_cpu_ns\": %lld, \"wait_wall_ns\": %lld, "
                    "\"wakes\": %ld, \"vmhwm_kb\": %ld, \"tree_maxrss_kb\": %ld}%s\n",
                    s->startCpuNs, s->endCpuNs, s->waitWallNs, s->endSwitches - s->startSwitches,
                    s->vmHwmKb, s->treeMaxRssKb,
                    r + 1 < rounds ? "," : "");
        }
        fprintf(out, "]}%s\n", i + 1 < count ? "," : "");
    }
    fprintf(out, "]}\n");
    if (fclose(out) != 0) Die(outPath);
    return 0;
}
