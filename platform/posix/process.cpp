// Child processes: posix_spawnp to start, a pidfd to wait on, wait4 to reap
// with the child's resource usage.
#include "command_line.h"
#include "layer.h"
#include "seams.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

PosixSeams g_PosixSeams;

static const unsigned ProcessMagic = 0x57504852;  // "WPHR"
static const unsigned ThreadMagic = 0x57544852;   // "WTHR"

PosixProcess* ProcessFromHandle(HANDLE handle) {
    PosixHandle* posixHandle = static_cast<PosixHandle*>(handle);
    if (posixHandle == NULL ||
        (posixHandle->Magic != ProcessMagic && posixHandle->Magic != ThreadMagic))
        return NULL;
    return posixHandle->Process;
}

static int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// The child gets this process's environment, directory, descriptors and
// process group, and the signal dispositions wexel itself started with.
static int Spawn(pid_t* pid, char** arguments) {
    posix_spawnattr_t attributes;
    int error = posix_spawnattr_init(&attributes);
    if (error != 0) return error;
    sigset_t defaults;
    GetSignalsChangedFromDefault(&defaults);
    error = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (error == 0) error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (error == 0) error = posix_spawnp(pid, arguments[0], NULL, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    return error;
}

static PosixProcess* NewProcessRecord(pid_t pid, ULONGLONG creationTime) {
    PosixProcess* process = static_cast<PosixProcess*>(calloc(1, sizeof(PosixProcess)));
    if (process == NULL) return NULL;
    process->ProcessHandle.Magic = ProcessMagic;
    process->ProcessHandle.Process = process;
    process->ThreadHandle.Magic = ThreadMagic;
    process->ThreadHandle.Process = process;
    process->Pid = pid;
    process->CreationTime = creationTime;
    // The child has already replaced its image (posix_spawn returns after
    // the exec), so these name the child and no one else until it is reaped.
    process->PidFd = OpenPidFd(pid);
    process->StatusFd = -1;
    // With a pidfd the wait reads the peak as the child goes on; a reading
    // now, with the new image barely mapped, would only delay the wait.
    if (process->PidFd < 0) SamplePeakVirtual(process);
    return process;
}

// A child that someone else reaped is gone with its status and usage: the
// queries then fail rather than report a clean exit that never happened.
static void Reap(PosixProcess* process) {
    int result;
    while ((result = wait4(process->Pid, &process->WaitStatus, 0, &process->Usage)) < 0 &&
           errno == EINTR) {
    }
    process->ReapError = result < 0 ? errno : 0;
    process->Reaped = true;
}

// With SIGCHLD ignored the kernel reaps children itself and their exit
// status is lost, and a parent may start wexel that way: wexel takes it back
// to the default, which also is what the child then inherits.
static void KeepChildStatus(int, char**, char**) {
    struct sigaction old;
    if (sigaction(SIGCHLD, NULL, &old) == 0 && old.sa_handler == SIG_IGN)
        signal(SIGCHLD, SIG_DFL);
}

__attribute__((section(".init_array"), used)) static void (*const g_keepChildStatus)(
    int, char**, char**) = KeepChildStatus;

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    // Only what wexel asks for is provided: the program found from the
    // command line, in this process's own environment and directory.
    if (applicationName != NULL || commandLine == NULL || creationFlags != 0 ||
        environment != NULL || currentDirectory != NULL || startupInfo == NULL ||
        processInformation == NULL) {
        SetLastErrorCode(EINVAL);
        return FALSE;
    }
    char** arguments = SplitCommandLine(commandLine);
    if (arguments == NULL) {
        SetLastErrorCode(static_cast<DWORD>(errno));
        return FALSE;
    }
    if (arguments[0] == NULL) {
        free(arguments);
        // An empty line that stands in for one lost to exhausted memory.
        SetLastErrorCode(CommandLineLost() ? ENOMEM : ENOENT);
        return FALSE;
    }

    LowerOwnPeakBeforeSpawn();
    pid_t pid;
    ULONGLONG creationTime = MonotonicTime();
    int error = Spawn(&pid, arguments);
    free(arguments);
    if (error != 0) {
        SetLastErrorCode(static_cast<DWORD>(error));
        return FALSE;
    }

    PosixProcess* process = NewProcessRecord(pid, creationTime);
    if (process == NULL) {
        // The child is running and cannot be handed out: take it back so
        // that it neither goes on unwatched nor stays a zombie.
        kill(pid, SIGKILL);
        while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
        }
        SetLastErrorCode(ENOMEM);
        return FALSE;
    }
    processInformation->hProcess = &process->ProcessHandle;
    processInformation->hThread = &process->ThreadHandle;
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

// Microseconds between readings of the virtual peak. Each reading wakes
// wexel and has the kernel write out the whole status file, some 40 to 90 us
// of CPU on a busy 2-core guest. The first comes after 1 ms, so a command
// that ends sooner costs no reading at all (its figure falls back to its
// resident peak); then the interval doubles up to 80 ms, which still catches
// every peak reached 100 ms or more before the exit, at about 70 readings
// for a 5 s run.
static const ULONGLONG FirstSampleInterval = 1000;
static const ULONGLONG LongestSampleInterval = 80000;

// Waits until the child has ended, reading its virtual peak on the way.
// Returns false when the time ran out.
static bool WaitForExit(PosixProcess* process, DWORD milliseconds) {
    ULONGLONG deadline = MonotonicTime() + static_cast<ULONGLONG>(milliseconds) * 10000;
    ULONGLONG interval = FirstSampleInterval;
    for (;;) {
        ULONGLONG timeout = interval;
        if (milliseconds != INFINITE) {
            ULONGLONG now = MonotonicTime();
            if (now >= deadline) return false;
            ULONGLONG left = (deadline - now) / 10;
            if (left < timeout) timeout = left;
        }
        struct timespec wait = {static_cast<time_t>(timeout / 1000000),
                                static_cast<long>(timeout % 1000000) * 1000};
        struct pollfd exited = {process->PidFd, POLLIN, 0};
        int ready = ppoll(&exited, 1, &wait, NULL);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return true;  // wait4 has the final word
        SamplePeakVirtual(process);
        interval = interval * 2 < LongestSampleInterval ? interval * 2 : LongestSampleInterval;
    }
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    PosixProcess* process = ProcessFromHandle(handle);
    if (process == NULL) {
        SetLastErrorCode(EBADF);
        return WAIT_FAILED;
    }
    if (process->Reaped) return WAIT_OBJECT_0;
    if (process->PidFd < 0) {
        // Without a pidfd the only exact wait is wait4 itself; the virtual
        // peak then rests on the reading taken at the start.
        if (milliseconds != INFINITE) {
            SetLastErrorCode(ENOSYS);
            return WAIT_FAILED;
        }
    } else if (!WaitForExit(process, milliseconds)) {
        return WAIT_TIMEOUT;
    }
    Reap(process);
    process->ExitTime = MonotonicTime();
    return WAIT_OBJECT_0;
}

static void SetFileTime(LPFILETIME time, ULONGLONG value) {
    time->dwLowDateTime = static_cast<DWORD>(value);
    time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

static ULONGLONG TimevalUnits(const struct timeval& time) {
    return static_cast<ULONGLONG>(time.tv_sec) * 10000000 +
           static_cast<ULONGLONG>(time.tv_usec) * 10;
}

// Kernel and user time come from the reaped child's resource usage, which
// also holds every descendant the child itself waited for.
BOOL GetProcessTimes(HANDLE handle, LPFILETIME creationTime, LPFILETIME exitTime,
                     LPFILETIME kernelTime, LPFILETIME userTime) {
    PosixProcess* process = ProcessFromHandle(handle);
    if (process == NULL || !process->Reaped || g_PosixSeams.FailProcessTimes) {
        SetLastErrorCode(process == NULL ? EBADF : EBUSY);
        return FALSE;
    }
    if (process->ReapError != 0) {
        SetLastErrorCode(static_cast<DWORD>(process->ReapError));
        return FALSE;
    }
    bool override = g_PosixSeams.OverrideMoments;
    SetFileTime(creationTime, override ? g_PosixSeams.CreationTime : process->CreationTime);
    SetFileTime(exitTime, override ? g_PosixSeams.ExitTime : process->ExitTime);
    SetFileTime(kernelTime, TimevalUnits(process->Usage.ru_stime));
    SetFileTime(userTime, TimevalUnits(process->Usage.ru_utime));
    return TRUE;
}

// A child ended by signal N reports 128 + N, as the shells do.
BOOL GetExitCodeProcess(HANDLE handle, DWORD* exitCode) {
    PosixProcess* process = ProcessFromHandle(handle);
    if (process == NULL || g_PosixSeams.FailExitCode) {
        SetLastErrorCode(EBADF);
        return FALSE;
    }
    if (process->ReapError != 0) {
        SetLastErrorCode(static_cast<DWORD>(process->ReapError));
        return FALSE;
    }
    if (!process->Reaped) {
        *exitCode = STILL_ACTIVE;
    } else if (WIFSIGNALED(process->WaitStatus)) {
        *exitCode = 128 + static_cast<DWORD>(WTERMSIG(process->WaitStatus));
    } else {
        *exitCode = static_cast<DWORD>(WEXITSTATUS(process->WaitStatus));
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    PosixHandle* posixHandle = static_cast<PosixHandle*>(handle);
    PosixProcess* process = ProcessFromHandle(handle);
    if (process == NULL) {
        SetLastErrorCode(EBADF);
        return FALSE;
    }
    posixHandle->Magic = 0;
    if (process->ProcessHandle.Magic != 0 || process->ThreadHandle.Magic != 0) return TRUE;
    if (process->PidFd >= 0) close(process->PidFd);
    if (process->StatusFd >= 0) close(process->StatusFd);
    free(process);
    return TRUE;
}
