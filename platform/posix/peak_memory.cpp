// The child's memory peaks. Linux keeps the peak resident set across the
// child's life and hands it over at the reap; the peak virtual size lives
// only as long as the child's address space, so it is read while it runs.
#include "command_line.h"
#include "layer.h"
#include "seams.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

static const char PeakKey[] = "\nVmPeak:";
static const size_t PeakKeyLength = sizeof(PeakKey) - 1;

// VmPeak from a status file, in bytes; false when the file has no such line
// (a leader that has ended while its threads go on, a process letting go of
// its memory) or cannot be read. The file is read in pieces from the start
// until the line is found: it stands near the top, behind a Groups line
// that a user in hundreds of groups makes many kilobytes long, so one read
// is the rule and a long file costs more reads only for such users.
static bool ReadVmPeak(int fd, ULONGLONG* bytes) {
    char piece[4096];
    off_t offset = 0;
    for (;;) {
        ssize_t length = pread(fd, piece, sizeof(piece) - 1, offset);
        if (length <= 0) return false;
        piece[length] = 0;
        bool whole = static_cast<size_t>(length) < sizeof(piece) - 1;
        const char* line = strstr(piece, PeakKey);
        if (line != NULL && (whole || strchr(line + 1, '\n') != NULL)) {
            *bytes = strtoull(line + PeakKeyLength, NULL, 10) * 1024;
            return true;
        }
        if (whole) return false;
        // Go on from the key's start, or from far enough back that a key
        // cut by the end of this piece is whole in the next.
        off_t next = line != NULL ? offset + (line - piece) : offset + length - PeakKeyLength;
        if (next <= offset) return false;
        offset = next;
    }
}

// Only a /proc of wexel's own PID namespace names the child by its pid: one
// of an outer namespace (a sandbox that did not mount its own) gives the pid
// to a stranger there, whose figures would be reported as the child's.
static bool ProcIsOwnNamespace(void) {
    static int known = -1;
    if (known < 0) {
        char link[32];
        ssize_t length = readlink("/proc/self", link, sizeof(link) - 1);
        if (length > 0) link[length] = 0;
        known = length > 0 && atol(link) == static_cast<long>(getpid());
    }
    return known == 1;
}

// The status file of the process, or of one of its threads when tid is not 0.
static int OpenStatusFile(pid_t pid, pid_t tid) {
    char path[64];
    if (tid == 0)
        snprintf(path, sizeof(path), "/proc/%d/status", static_cast<int>(pid));
    else
        snprintf(path, sizeof(path), "/proc/%d/task/%d/status", static_cast<int>(pid),
                 static_cast<int>(tid));
    return open(path, O_RDONLY | O_CLOEXEC);
}

// A leader that has called pthread_exit keeps no memory lines while its
// threads still hold the address space: any other live thread has them.
// Rare enough that each reading looks for one afresh, holding nothing open.
static bool ReadThroughThread(pid_t pid, ULONGLONG* bytes) {
    char path[32];
    snprintf(path, sizeof(path), "/proc/%d/task", static_cast<int>(pid));
    DIR* tasks = opendir(path);
    if (tasks == NULL) return false;
    bool found = false;
    struct dirent* entry;
    while (!found && (entry = readdir(tasks)) != NULL) {
        pid_t tid = static_cast<pid_t>(atol(entry->d_name));
        if (tid <= 0 || tid == pid) continue;
        int fd = OpenStatusFile(pid, tid);
        if (fd < 0) continue;
        found = ReadVmPeak(fd, bytes);
        close(fd);
    }
    closedir(tasks);
    return found;
}

// The leader's status file is opened at the first reading, not at the
// launch: a first open of a new process's /proc entry, next to its exec,
// costs tens of microseconds that a command ending within a millisecond
// never needs. The pid names the child until it is reaped, and readings
// stop before that. An open that fails is tried again at the next reading.
void SamplePeakVirtual(PosixProcess* process) {
    if (!ProcIsOwnNamespace()) return;
    if (process->StatusFd < 0) process->StatusFd = OpenStatusFile(process->Pid, 0);
    if (process->StatusFd < 0) return;
    ULONGLONG peak;
    if (!ReadVmPeak(process->StatusFd, &peak) && !ReadThroughThread(process->Pid, &peak)) return;
    if (peak > process->PeakVirtualBytes) process->PeakVirtualBytes = peak;
}

// Linux folds the peak resident set of the image that exec replaces into
// the new image's record, and posix_spawn's child execs in wexel's own
// address space: wexel's peak at this moment becomes the floor under the
// command's Physical figure. A long command line is held three times over
// (the arguments, the raw line, the command buffer); the raw line is not
// needed for the spawn, so its pages are let go (they come back unchanged
// if it is read again), and the peak is then set back to what is resident.
// A short line has nothing worth letting go, and the reset is skipped.
// Neither step's failure matters: the figure is then only higher.
void LowerOwnPeakBeforeSpawn(void) {
    if (!ReleaseCommandLinePages()) return;
    int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    ssize_t written = write(fd, "5", 1);
    (void)written;
    close(fd);
}

BOOL WINAPI K32GetProcessMemoryInfo(HANDLE handle, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    PosixProcess* process = ProcessFromHandle(handle);
    if (process == NULL || counters == NULL) {
        SetLastErrorCode(EBADF);
        return FALSE;
    }
    // Figures for a child still running would be half-made.
    if (cb < sizeof(PROCESS_MEMORY_COUNTERS) || !process->Reaped || process->ReapError != 0 ||
        g_PosixSeams.FailMemoryQuery) {
        SetLastErrorCode(EINVAL);
        return FALSE;
    }
    memset(counters, 0, sizeof(*counters));
    counters->cb = sizeof(*counters);
    counters->PageFaultCount =
        static_cast<DWORD>(process->Usage.ru_minflt + process->Usage.ru_majflt);
    SIZE_T peakResident = static_cast<SIZE_T>(process->Usage.ru_maxrss) * 1024;
    counters->PeakWorkingSetSize = peakResident;
    // The command's own largest VmPeak, even below the resident peak (which
    // also holds its waited-for descendants'). Only when no reading could be
    // taken at all (a command gone within the first millisecond, no /proc
    // of this namespace) does the resident peak stand in for it.
    counters->PeakPagefileUsage =
        process->PeakVirtualBytes != 0 ? process->PeakVirtualBytes : peakResident;
    return TRUE;
}

BOOL WINAPI GetProcessMemoryInfo(HANDLE handle, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    return K32GetProcessMemoryInfo(handle, counters, cb);
}
