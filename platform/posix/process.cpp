// Child processes behind Windows handles: the launch, the wait, and what is
// known of the child once wait4 has reaped it with its resource usage.
#include "command_line.h"
#include "layer.h"
#include "seams.h"

#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

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

static PosixProcess* NewProcessRecord(pid_t pid, ULONGLONG creationTime) {
    PosixProcess* process = static_cast<PosixProcess*>(calloc(1, sizeof(PosixProcess)));
    if (process == NULL) return NULL;
    process->ProcessHandle.Magic = ProcessMagic;
    process->ProcessHandle.Process = process;
    process->ThreadHandle.Magic = ThreadMagic;
    process->ThreadHandle.Process = process;
    process->Pid = pid;
    process->CreationTime = creationTime;
    process->StatusFd = -1;
    return process;
}

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
    CatchSignalsForChild();
    NoteOutputBeforeLaunch();
    ULONGLONG creationTime = BootTime();
    int error = SpawnProgram(&pid, arguments);
    free(arguments);
    if (error != 0) {
        StopCatchingSignalsForChild();
        SetLastErrorCode(static_cast<DWORD>(error));
        return FALSE;
    }
    PassSignalsTo(pid);

    PosixProcess* process = NewProcessRecord(pid, creationTime);
    if (process == NULL) {
        // The child is running and cannot be handed out: take it back so
        // that it neither goes on unwatched nor stays a zombie.
        PassSignalsTo(0);
        kill(pid, SIGKILL);
        while (waitpid(pid, NULL, 0) < 0 && errno == EINTR) {
        }
        StopCatchingSignalsForChild();
        SetLastErrorCode(ENOMEM);
        return FALSE;
    }
    processInformation->hProcess = &process->ProcessHandle;
    processInformation->hThread = &process->ThreadHandle;
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    PosixProcess* process = ProcessFromHandle(handle);
    if (process == NULL) {
        SetLastErrorCode(EBADF);
        return WAIT_FAILED;
    }
    if (process->Reaped) return WAIT_OBJECT_0;
    return WaitForChildEnd(process, milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
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
    if (process->StatusFd >= 0) close(process->StatusFd);
    free(process);
    return TRUE;
}
