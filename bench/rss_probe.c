/* Runs a command and prints the peak resident set of the process tree it
 * starts, as wait4 reports it: "maxrss_kb=N".
 *
 * Linux counts, in a process's peak resident set, the resident set of the
 * image that its exec replaced: that of whoever started it. Built without a
 * C library, this probe is a few pages, so what it prints is the command's
 * own peak (and its children's) with next to nothing of the probe's.
 *
 * usage: rss_probe PROGRAM [ARG...]   (PROGRAM is a path; no search) */
#define SYS_write 1
#define SYS_fork 57
#define SYS_execve 59
#define SYS_exit 60
#define SYS_wait4 61

static long Syscall4(long number, long a, long b, long c, long d) {
    long result;
    register long r10 __asm__("r10") = d;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
                     : "rcx", "r11", "memory");
    return result;
}

struct Timeval {
    long seconds, microseconds;
};
struct Rusage {
    struct Timeval user, system;
    long maxrss, rest[13];
};

static void Exit(int status) {
    Syscall4(SYS_exit, status, 0, 0, 0);
    for (;;) {
    }
}

static void Write(const char *text, long length) {
    Syscall4(SYS_write, 1, (long)text, length, 0);
}

static long Length(const char *text) {
    long length = 0;
    while (text[length]) ++length;
    return length;
}

static void WriteNumber(long value) {
    char digits[24];
    int at = sizeof(digits);
    do {
        digits[--at] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    Write(digits + at, (long)sizeof(digits) - at);
}

void ProbeMain(long *stack) {
    long argc = stack[0];
    char **argv = (char **)(stack + 1);
    char **envp = argv + argc + 1;
    if (argc < 2) {
        const char *usage = "usage: rss_probe PROGRAM [ARG...]\n";
        Write(usage, Length(usage));
        Exit(2);
    }
    long pid = Syscall4(SYS_fork, 0, 0, 0, 0);
    if (pid == 0) {
        Syscall4(SYS_execve, (long)argv[1], (long)(argv + 1), (long)envp, 0);
        Exit(127);
    }
    if (pid < 0) Exit(1);
    int status = 0;
    struct Rusage usage;
    if (Syscall4(SYS_wait4, pid, (long)&status, 0, (long)&usage) != pid) Exit(1);
    Write("maxrss_kb=", 10);
    WriteNumber(usage.maxrss);
    Write(" status=", 8);
    WriteNumber(status);
    Write("\n", 1);
    Exit(0);
}

__asm__(".globl _start\n"
        "_start:\n"
        "  mov %rsp, %rdi\n"
        "  and $-16, %rsp\n"
        "  call ProbeMain\n"
        "  hlt\n");
