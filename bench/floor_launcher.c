/* The least a launcher can do: start the command, wait for it, pass its
 * status on. Built twice, statically and dynamically linked, as the floor
 * under every launcher's cost. */
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: floor_launcher program [argument...]\n");
        return 2;
    }
    pid_t pid;
    int error = posix_spawnp(&pid, argv[1], NULL, NULL, argv + 1, environ);
    if (error != 0) return 127;
    int status;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) < 0) return 126;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
