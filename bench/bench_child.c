/* Children with a known truth. Each does one thing it can measure itself
 * and, just before it exits, prints what it measured on one line:
 *   truth cpu_ns=N wall_ns=N premain_cpu_ns=N vmhwm_kb=N vmpeak_kb=N
 * cpu_ns is its own CPU clock (all threads, from its creation on), wall_ns
 * its own monotonic clock from main to that line, premain_cpu_ns the CPU it
 * had spent before main (exec and start-up), and the two memory figures its
 * own VmHWM and VmPeak from /proc/self/status.
 *
 *   bench_child burn MS            burn MS ms of CPU
 *   bench_child threads N MS       N threads, each burning MS ms of its own CPU
 *   bench_child sleep MS           sleep MS ms
 *   bench_child hold MIB MS        touch MIB MiB, hold them MS ms
 *   bench_child release MIB MS     touch MIB MiB, release them at once, live MS ms more
 *   bench_child late MS BEFORE MIB live MS ms; BEFORE ms before the end map
 *                                  MIB MiB (untouched) and keep them
 *   bench_child handshake READY GO MS
 *                                  write a byte to fd READY, sleep MS ms, write
 *                                  another, wait for a byte on fd GO, then exit */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

static long long ClockNs(clockid_t clock) {
    struct timespec t;
    clock_gettime(clock, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static long long g_mainNs, g_premainCpuNs;

static void SleepMs(long long ms) {
    long long until = ClockNs(CLOCK_MONOTONIC) + ms * 1000000LL;
    struct timespec t = {(time_t)(until / 1000000000LL), (long)(until % 1000000000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, NULL) != 0) {
    }
}

static void BurnUntil(clockid_t clock, long long ns) {
    volatile unsigned long sink = 0;
    while (ClockNs(clock) < ns)
        for (int i = 0; i < 20000; ++i) sink += (unsigned long)i * i;
}

static long StatusKb(const char *status, const char *key) {
    const char *line = strstr(status, key);
    return line ? strtol(line + strlen(key), NULL, 10) : -1;
}

static void PrintTruth(void) {
    char status[4096];
    FILE *file = fopen("/proc/self/status", "r");
    size_t length = file ? fread(status, 1, sizeof(status) - 1, file) : 0;
    if (file) fclose(file);
    status[length] = 0;
    long long cpu = ClockNs(CLOCK_PROCESS_CPUTIME_ID);
    long long wall = ClockNs(CLOCK_MONOTONIC) - g_mainNs;
    printf("truth cpu_ns=%lld wall_ns=%lld premain_cpu_ns=%lld vmhwm_kb=%ld vmpeak_kb=%ld\n", cpu,
           wall, g_premainCpuNs, StatusKb(status, "\nVmHWM:"), StatusKb(status, "\nVmPeak:"));
    fflush(stdout);
}

static void *TouchMiB(long mib) {
    size_t bytes = (size_t)mib << 20;
    char *block = mmap(NULL, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        perror("mmap");
        exit(1);
    }
    for (size_t i = 0; i < bytes; i += 4096) block[i] = 1;
    return block;
}

static long long g_threadBurnNs;

static void *BurnThread(void *unused) {
    (void)unused;
    BurnUntil(CLOCK_THREAD_CPUTIME_ID, g_threadBurnNs);
    return NULL;
}

static int Usage(void) {
    fprintf(stderr, "usage: bench_child burn|threads|sleep|hold|release|late|handshake ...\n");
    return 2;
}

int main(int argc, char **argv) {
    g_mainNs = ClockNs(CLOCK_MONOTONIC);
    g_premainCpuNs = ClockNs(CLOCK_PROCESS_CPUTIME_ID);
    if (argc < 3) return Usage();
    const char *mode = argv[1];
    long a = atol(argv[2]), b = argc > 3 ? atol(argv[3]) : 0, c = argc > 4 ? atol(argv[4]) : 0;
    if (strcmp(mode, "burn") == 0) {
        BurnUntil(CLOCK_PROCESS_CPUTIME_ID, a * 1000000LL);
    } else if (strcmp(mode, "threads") == 0 && argc == 4 && a <= 64) {
        pthread_t threads[64];
        g_threadBurnNs = b * 1000000LL;
        for (long i = 0; i < a; ++i)
            if (pthread_create(&threads[i], NULL, BurnThread, NULL) != 0) return 1;
        for (long i = 0; i < a; ++i) pthread_join(threads[i], NULL);
    } else if (strcmp(mode, "sleep") == 0) {
        SleepMs(a);
    } else if (strcmp(mode, "hold") == 0 && argc == 4) {
        TouchMiB(a);
        SleepMs(b);
    } else if (strcmp(mode, "release") == 0 && argc == 4) {
        munmap(TouchMiB(a), (size_t)a << 20);
        SleepMs(b);
    } else if (strcmp(mode, "late") == 0 && argc == 5) {
        SleepMs(a - b);
        if (mmap(NULL, (size_t)c << 20, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) == MAP_FAILED)
            return 1;
        SleepMs(b);
    } else if (strcmp(mode, "handshake") == 0 && argc == 5) {
        char byte = 1;
        if (write((int)a, &byte, 1) != 1) return 1;
        SleepMs(c);
        if (write((int)a, &byte, 1) != 1 || read((int)b, &byte, 1) != 1) return 1;
    } else {
        return Usage();
    }
    PrintTruth();
    return 0;
}
