// The command's virtual peak. Linux keeps the peak resident set across the
// command's life and hands it over at the reap; the peak virtual size
// (VmPeak) lives only as long as the command's address space, so it is read
// while the command runs.
#include "child.h"
#include "system_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char PeakKey[] = "\nVmPeak:";
static const size_t PeakKeyLength = sizeof(PeakKey) - 1;

// VmPeak from a status file, in bytes; false when the file has no such line
// (a leader that has ended while its threads go on, a process letting go of
// its memory) or cannot be read. The file is read in pieces from the start
// until the line is found: it stands near the top, behind a Groups line
// that a user in hundreds of groups makes many kilobytes long, so one read
// is the rule and a long file costs more reads only for such users.
static bool ReadVmPeak(int fd, uint64_t* bytes) {
    char piece[4096];
    off_t offset = 0;
    for (;;) {
        ssize_t length = osPread(fd, piece, sizeof(piece) - 1, offset);
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

// Only a /proc of wexel's own PID namespace names the command by its pid:
// one of an outer namespace (a sandbox that did not mount its own) gives
// the pid to a stranger there, whose figures would be reported as the
// command's.
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
    return osOpen(path, O_RDONLY | O_CLOEXEC);
}

// A leader that has called pthread_exit keeps no memory lines while its
// threads still hold the address space: any other live thread has them.
// Rare enough that each reading looks for one afresh, holding nothing open.
static bool ReadThroughThread(pid_t pid, uint64_t* bytes) {
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
// start: a first open of a new process's /proc entry, next to its exec,
// costs tens of microseconds that a command ending within a millisecond
// never needs. The pid names the command until it is reaped, and readings
// stop before that. An open that fails is tried again at the next reading.
void SamplePeakVirtual(Child* child) {
    if (!ProcIsOwnNamespace()) return;
    if (child->StatusFd < 0) child->StatusFd = OpenStatusFile(child->Pid, 0);
    if (child->StatusFd < 0) return;
    uint64_t peak;
    if (!ReadVmPeak(child->StatusFd, &peak) && !ReadThroughThread(child->Pid, &peak)) return;
    if (peak > child->PeakVirtualBytes) child->PeakVirtualBytes = peak;
}
