/* Allocates the given number of MiB, writes to every page so that all of it
 * becomes resident, then holds it for the given number of milliseconds. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    size_t bytes = (size_t)(argc > 1 ? atol(argv[1]) : 0) << 20;
    long hold = argc > 2 ? atol(argv[2]) : 0;
    volatile char* block = malloc(bytes);
    if (block == NULL && bytes != 0) {
        fprintf(stderr, "touch_memory: cannot allocate %zu bytes\n", bytes);
        return 1;
    }
    long page = sysconf(_SC_PAGESIZE);
    for (size_t at = 0; at < bytes; at += (size_t)page) block[at] = 1;
    struct timespec pause = {hold / 1000, (hold % 1000) * 1000000};
    while (nanosleep(&pause, &pause) != 0) {
    }
    free((void*)block);
    return 0;
}
