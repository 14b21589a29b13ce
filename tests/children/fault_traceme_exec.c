/* Makes its parent its tracer, as a program run under a debugger's
 * launcher does, then runs the given program in its place:
 *   fault_traceme_exec PROGRAM [ARGUMENT...] */
#define _GNU_SOURCE
#include <stdio.h>
#include <sys/ptrace.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: fault_traceme_exec PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    if (ptrace(PTRACE_TRACEME, 0, NULL, NULL) != 0) {
        perror("fault_traceme_exec: ptrace");
        return 1;
    }
    execv(argv[1], argv + 1);
    perror("fault_traceme_exec: execv");
    return 127;
}
