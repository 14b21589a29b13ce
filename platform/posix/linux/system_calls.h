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

#include <signal.h>
#include <sched.h>
#include <stddef.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
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
    SysClone,
    SysWait4,
    SysWaitid,
    SysSigtimedwait,
    SysKill,
    SysSigaction,
    SysCalloc,
    SysMalloc,
    SysOpen,
    SysPread,
    SysClockGettime,
    SysPipe2,
    SystemCallCount
};

extern SystemCall g_systemCalls[SystemCallCount];

#define WEXEL_SYSTEM_CALL(index, type) (reinterpret_cast<type>(g_systemCalls[index].Current))

#define osClone \
    WEXEL_SYSTEM_CALL(SysClone, int (*)(int (*)(void*), void*, int, void*, ...))
#define osWait4 WEXEL_SYSTEM_CALL(SysWait4, pid_t(*)(pid_t, int*, int, struct rusage*))
#define osWaitid \
    WEXEL_SYSTEM_CALL(SysWaitid, int (*)(idtype_t, id_t, siginfo_t*, int))
#define osSigtimedwait \
    WEXEL_SYSTEM_CALL(SysSigtimedwait, int (*)(const sigset_t*, siginfo_t*, const struct timespec*))
#define osKill WEXEL_SYSTEM_CALL(SysKill, int (*)(pid_t, int))
#define osSigaction \
    WEXEL_SYSTEM_CALL(SysSigaction, int (*)(int, const struct sigaction*, struct sigaction*))
#define osCalloc WEXEL_SYSTEM_CALL(SysCalloc, void* (*)(size_t, size_t))
#define osMalloc WEXEL_SYSTEM_CALL(SysMalloc, void* (*)(size_t))
#define osOpen WEXEL_SYSTEM_CALL(SysOpen, int (*)(const char*, int, ...))
#define osPread WEXEL_SYSTEM_CALL(SysPread, ssize_t(*)(int, void*, size_t, off_t))
#define osClockGettime WEXEL_SYSTEM_CALL(SysClockGettime, int (*)(clockid_t, struct timespec*))
#define osPipe2 WEXEL_SYSTEM_CALL(SysPipe2, int (*)(int*, int))

#endif
