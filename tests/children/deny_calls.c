/* Runs a program where the named system calls fail with EPERM, as under a
 * container's seccomp filter:
 *   deny_calls CALL[,CALL...] PROGRAM [ARGUMENT...]
 * CALL is one of prctl, rt_sigtimedwait, ppoll, wait4. */
#define _GNU_SOURCE
#include <errno.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

static int CallNumber(const char* name) {
    if (strcmp(name, "prctl") == 0) return SYS_prctl;
    if (strcmp(name, "rt_sigtimedwait") == 0) return SYS_rt_sigtimedwait;
    if (strcmp(name, "ppoll") == 0) return SYS_ppoll;
    if (strcmp(name, "wait4") == 0) return SYS_wait4;
    return -1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: deny_calls CALL[,CALL...] PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    struct sock_filter filter[32];
    unsigned count = 0;
    filter[count++] = (struct sock_filter)BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                                                   offsetof(struct seccomp_data, nr));
    for (char* name = strtok(argv[1], ","); name != NULL && count < 28; name = strtok(NULL, ",")) {
        int number = CallNumber(name);
        if (number < 0) {
            fprintf(stderr, "deny_calls: unknown call %s\n", name);
            return 2;
        }
        filter[count++] = (struct sock_filter)BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K,
                                                       (unsigned)number, 0, 1);
        filter[count++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K,
                                                       SECCOMP_RET_ERRNO | EPERM);
    }
    filter[count++] = (struct sock_filter)BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    struct sock_fprog program = {(unsigned short)count, filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        perror("deny_calls: seccomp");
        return 1;
    }
    execv(argv[2], argv + 2);
    perror("deny_calls: execv");
    return 127;
}
