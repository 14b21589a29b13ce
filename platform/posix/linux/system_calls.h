// The system calls of the Linux layer whose failure matters, reached through
// one table rather than called by name, so that a test can put a call that
// fails (once, on the Nth time, or for good) in place of any of them and
// reach the paths that a healthy system never takes. The product reads the
// table and never writes it: each call costs one indirect jump, and the
// release binary holds no test switch at all.
//
// Each entry has a macro that gives it its real type, so that the code still
// reads as the call: osWait4(pid, &status, WNOHANG, &usage).
#ifndef WEXEL_PLATFORM_POSIX_LINUX_SYSTEM_CALLS_H
#define WEXEL_PLATFORM_POSIX_LINUX_SYSTEM_CALLS_H

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stddef.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <time.h>

typedef void (*SystemCallPointer)(void);

// One call: its name, the function the layer calls now, and the system's
// own, which a test puts back.
struct SystemCall {
    const char* Name;
    SystemCallPointer Current;
    SystemCallPointer Default;
};

enum SystemCallIndex {
    SysPosixSpawnp,
    SysPosixSpawn,
    SysWait4,
    SysPpoll,
    SysKill,
    SysSigaction,
    SysCalloc,
    SysMalloc,
    SysOpen,
    SysPread,
    SysClockGettime,
    SystemCallCount
};

extern SystemCall g_systemCalls[SystemCallCount];

#define WEXEL_SYSTEM_CALL(index, type) (reinterpret_cast<type>(g_systemCalls[index].Current))

#define osPosixSpawnp                                                                        \
    WEXEL_SYSTEM_CALL(SysPosixSpawnp,                                                        \
                      int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*,        \
                              const posix_spawnattr_t*, char* const*, char* const*))
#define osPosixSpawn                                                                         \
    WEXEL_SYSTEM_CALL(SysPosixSpawn,                                                         \
                      int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*,        \
                              const posix_spawnattr_t*, char* const*, char* const*))
#define osWait4 WEXEL_SYSTEM_CALL(SysWait4, pid_t(*)(pid_t, int*, int, struct rusage*))
#define osPpoll \
    WEXEL_SYSTEM_CALL(SysPpoll, int (*)(struct pollfd*, nfds_t, const struct timespec*, const sigset_t*))
#define osKill WEXEL_SYSTEM_CALL(SysKill, int (*)(pid_t, int))
#define osSigaction \
    WEXEL_SYSTEM_CALL(SysSigaction, int (*)(int, const struct sigaction*, struct sigaction*))
#define osCalloc WEXEL_SYSTEM_CALL(SysCalloc, void* (*)(size_t, size_t))
#define osMalloc WEXEL_SYSTEM_CALL(SysMalloc, void* (*)(size_t))
#define osOpen WEXEL_SYSTEM_CALL(SysOpen, int (*)(const char*, int, ...))
#define osPread WEXEL_SYSTEM_CALL(SysPread, ssize_t(*)(int, void*, size_t, off_t))
#define osClockGettime WEXEL_SYSTEM_CALL(SysClockGettime, int (*)(clockid_t, struct timespec*))

#endif
