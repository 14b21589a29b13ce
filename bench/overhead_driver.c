/* Times sequential runs of several launch commands, interleaved round by
 * round so that any drift of the machine weighs on every contender alike.
 * Each run is started the same way (posix_spawn, output to /dev/null) and
 * timed from just before the spawn to just after the reap.
 *
 * usage: overhead_driver ROUNDS WARMUP OUT.json NAME CMD [ARG...] [: NAME CMD ...]
 * Writes every raw figure to OUT.json. */
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

enum { MaxContenders = 16 };

struct Contender {
    const char *name;
    char **argv;
    long long *wallNs;
    long long *cpuNs;
    long *maxRssKb;
};

static long long NowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static long long TimevalNs(struct timeval t) {
    return (long long)t.tv_sec * 1000000000LL + (long long)t.tv_usec * 1000;
}

static void Die(const char *what) {
    perror(what);
    exit(1);
}

/* One run: returns its wall time; its CPU and peak resident set go out. */
static long long RunOnce(struct Contender *c, posix_spawn_file_actions_t *actions,
                         long long *cpuNs, long *maxRssKb) {
    pid_t pid;
    int status;
    struct rusage usage;
    long long start = NowNs();
    int error = posix_spawn(&pid, c->argv[0], actions, NULL, c->argv, environ);
    if (error != 0) {
        fprintf(stderr, "overhead_driver: cannot start %s: %s\n", c->argv[0], strerror(error));
        exit(1);
    }
    if (wait4(pid, &status, 0, &usage) < 0) Die("wait4");
    long long end = NowNs();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "overhead_driver: %s failed (status %d)\n", c->name, status);
        exit(1);
    }
    *cpuNs = TimevalNs(usage.ru_utime) + TimevalNs(usage.ru_stime);
    *maxRssKb = usage.ru_maxrss;
    return end - start;
}

static void WriteJsonString(FILE *out, const char *s) {
    fputc('"', out);
    for (; *s; ++s) {
        if (*s == '"' || *s == '\\') fputc('\\', out);
        fputc(*s, out);
    }
    fputc('"', out);
}

static void WriteJson(const char *path, struct Contender *cs, int count, int rounds, int warmup) {
    FILE *out = fopen(path, "w");
    if (out == NULL) Die(path);
    fprintf(out, "{\"rounds\": %d, \"warmup\": %d, \"contenders\": [\n", rounds, warmup);
    for (int i = 0; i < count; ++i) {
        fprintf(out, "{\"name\": ");
        WriteJsonString(out, cs[i].name);
        fprintf(out, ", \"command\": [");
        for (char **a = cs[i].argv; *a; ++a) {
            if (a != cs[i].argv) fprintf(out, ", ");
            WriteJsonString(out, *a);
        }
        fprintf(out, "],\n \"wall_ns\": [");
        for (int r = 0; r < rounds; ++r) fprintf(out, "%s%lld", r ? ", " : "", cs[i].wallNs[r]);
        fprintf(out, "],\n \"cpu_ns\": [");
        for (int r = 0; r < rounds; ++r) fprintf(out, "%s%lld", r ? ", " : "", cs[i].cpuNs[r]);
        fprintf(out, "],\n \"maxrss_kb\": [");
        for (int r = 0; r < rounds; ++r) fprintf(out, "%s%ld", r ? ", " : "", cs[i].maxRssKb[r]);
        fprintf(out, "]}%s\n", i + 1 < count ? "," : "");
    }
    fprintf(out, "]}\n");
    if (fclose(out) != 0) Die(path);
}

int main(int argc, char **argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: overhead_driver ROUNDS WARMUP OUT.json NAME CMD [ARG...] [: NAME CMD ...]\n");
        return 2;
    }
    int rounds = atoi(argv[1]), warmup = atoi(argv[2]);
    const char *outPath = argv[3];
    struct Contender cs[MaxContenders];
    int count = 0;
    for (int i = 4; i < argc;) {
        if (count == MaxContenders) {
            fprintf(stderr, "overhead_driver: too many contenders\n");
            return 2;
        }
        struct Contender *c = &cs[count++];
        c->name = argv[i++];
        c->argv = argv + i;
        while (i < argc && strcmp(argv[i], ":") != 0) ++i;
        if (i < argc) argv[i++] = NULL;
        if (c->argv[0] == NULL) {
            fprintf(stderr, "overhead_driver: %s has no command\n", c->name);
            return 2;
        }
        c->wallNs = calloc(rounds, sizeof(long long));
        c->cpuNs = calloc(rounds, sizeof(long long));
        c->maxRssKb = calloc(rounds, sizeof(long));
        if (!c->wallNs || !c->cpuNs || !c->maxRssKb) Die("calloc");
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    /* Round r starts at contender r mod count, so no contender always runs
     * right after the same neighbour. */
    for (int r = -warmup; r < rounds; ++r) {
        for (int k = 0; k < count; ++k) {
            int i = ((r < 0 ? -r : r) + k) % count;
            long long cpu;
            long rss;
            long long wall = RunOnce(&cs[i], &actions, &cpu, &rss);
            if (r < 0) continue;
            cs[i].wallNs[r] = wall;
            cs[i].cpuNs[r] = cpu;
            cs[i].maxRssKb[r] = rss;
        }
    }
    WriteJson(outPath, cs, count, rounds, warmup);
    return 0;
}
