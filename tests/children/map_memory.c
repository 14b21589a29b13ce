/* Maps the given number of MiB without touching more than its first page,
 * so that the virtual peak is large and the resident one small, and holds
 * it for the given number of milliseconds. With "worker", a second thread
 * waits for the main thread to end itself with pthread_exit, then maps and
 * holds the memory: the process lives on in a thread that is not its
 * leader, and the leader's status never shows the mapping. */
#define _GNU_SOURCE
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>

static size_t g_bytes;
static long g_hold;
static pthread_t g_leader;

static void* MapAndHold(void* afterLeader) {
    if (afterLeader != NULL && pthread_join(g_leader, NULL) != 0) {
        fprintf(stderr, "map_memory: cannot wait for the main thread\n");
        exit(1);
    }
    char* block = mmap(NULL, g_bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) {
        perror("map_memory: mmap");
        exit(1);
    }
    block[0] = 1;
    struct timespec pause = {g_hold / 1000, (g_hold % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    exit(0);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: map_memory MIB HOLD_MS [worker]\n");
        return 2;
    }
    g_bytes = (size_t)atol(argv[1]) << 20;
    g_hold = atol(argv[2]);
    if (argc < 4 || strcmp(argv[3], "worker") != 0) MapAndHold(NULL);
    g_leader = pthread_self();
    pthread_t worker;
    if (pthread_create(&worker, NULL, MapAndHold, &g_leader) != 0) {
        fprintf(stderr, "map_memory: cannot start the worker\n");
        return 1;
    }
    pthread_exit(NULL);
}
