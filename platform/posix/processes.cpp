// Child processes behind Windows handles, over the Linux module's Child.
#include "command_line.h"
#include "linux/system_calls.h"
#include "process_handles.h"

#include <errno.h>
#include <sys/wait.h>

// The command buffer that wexel's main hands to the launch and never frees,
// since the process ends soon after the run. Held here so that the leak
// checker sees it as kept on purpose, not lost.
static LPWSTR g_commandBuffer;

Child* ChildFromHandle(HANDLE handle) {
    ChildHandle* childHandle = static_cast<ChildHandle*>(handle);
    if (childHandle == NULL || !childHandle->Open) {
        SetLastError(EBADF);
        return NULL;
    }
    return &childHandle->Record->Command;
}

static BOOL FailWith(int error) {
    SetLastError(static_cast<DWORD>(error));
    return FALSE;
}

static void HandOut(ChildHandles* record, LPPROCESS_INFORMATION processInformation) {
    record->Process = {record, true};
    record->Thread = {record, true};
    processInformation->hProcess = &record->Process;
    processInformation->hThread = &record->Thread;
    processInformation->dwProcessId = static_cast<DWORD>(record->Command.Pid);
    processInformation->dwThreadId = static_cast<DWORD>(record->Command.Pid);
}

// Only what wexel asks for is provided: the program found from the command
// line, in this process's own environment and directory. The record is
// allocated before the start, so that no failure leaves a command running.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    if (applicationName != NULL || commandLine == NULL || creationFlags != 0 ||
        environment != NULL || currentDirectory != NULL || startupInfo == NULL ||
        processInformation == NULL)
        return FailWith(EINVAL);
    g_commandBuffer = commandLine;
    char* const* arguments = ArgumentsOfCommandTail(commandLine);
    if (arguments == NULL) return FailWith(errno);
    ChildHandles* record = static_cast<ChildHandles*>(osCalloc(1, sizeof(ChildHandles)));
    if (record == NULL) return FailWith(ENOMEM);
    int error = StartChild(&record->Command, arguments);
    if (error != 0) {
        free(record);
        return FailWith(error);
    }
    HandOut(record, processInformation);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Child* child = ChildFromHandle(handle);
    if (child == NULL) return WAIT_FAILED;
    long timeout = milliseconds == INFINITE ? -1 : static_cast<long>(milliseconds);
    return WaitForChild(child, timeout) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

// A command that is still running, or whose end another reaper took, has
// no figures to give.
static bool HasFigures(const Child* child) {
    if (child == NULL) return false;
    if (!child->Ended) SetLastError(EBUSY);
    if (child->LostError != 0) SetLastError(static_cast<DWORD>(child->LostError));
    return child->Ended && child->LostError == 0;
}

static void SetFileTime(LPFILETIME time, ULONGLONG units) {
    time->dwLowDateTime = static_cast<DWORD>(units);
    time->dwHighDateTime = static_cast<DWORD>(units >> 32);
}

static ULONGLONG TimevalUnits(const struct timeval& time) {
    return static_cast<ULONGLONG>(time.tv_sec) * 10000000 +
           static_cast<ULONGLONG>(time.tv_usec) * 10;
}

BOOL WINAPI ProcessTimesOfChild(HANDLE handle, LPFILETIME creationTime, LPFILETIME exitTime,
                                LPFILETIME kernelTime, LPFILETIME userTime) {
    Child* child = ChildFromHandle(handle);
    if (!HasFigures(child)) return FALSE;
    SetFileTime(creationTime, child->StartTime / 100);
    SetFileTime(exitTime, child->EndTime / 100);
    SetFileTime(kernelTime, TimevalUnits(child->Usage.ru_stime));
    SetFileTime(userTime, TimevalUnits(child->Usage.ru_utime));
    return TRUE;
}

// A command killed by signal N reports 128 + N, as the shells do.
BOOL WINAPI ExitCodeOfChild(HANDLE handle, DWORD* exitCode) {
    Child* child = ChildFromHandle(handle);
    if (child == NULL) return FALSE;
    if (!child->Ended) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    if (!HasFigures(child)) return FALSE;
    int status = child->WaitStatus;
    *exitCode = WIFSIGNALED(status) ? 128 + static_cast<DWORD>(WTERMSIG(status))
                                    : static_cast<DWORD>(WEXITSTATUS(status));
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (ChildFromHandle(handle) == NULL) return FALSE;
    ChildHandle* closing = static_cast<ChildHandle*>(handle);
    closing->Open = false;
    ChildHandles* record = closing->Record;
    if (record->Process.Open || record->Thread.Open) return TRUE;
    ReleaseChild(&record->Command);
    free(record);
    return TRUE;
}
