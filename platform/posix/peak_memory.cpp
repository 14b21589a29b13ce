// The child's memory peaks. Linux keeps the peak resident set across the
// child's life and hands it over at the reap; the peak virtual size lives
// only as long as the child's address space, so it is read while it runs.
#include "layer.h"
#include "seams.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

// VmPeak in /proc/<pid>/status, in bytes; 0 when the line is not there (the
// child has already let go of its memory).
static ULONGLONG ParseVmPeak(const char* status) {
    const char* line = strstr(status, "\nVmPeak:");
    if (line == NULL) return 0;
    ULONGLONG kilobytes = strtoull(line + 8, NULL, 10);
    return kilobytes * 1024;
}

// Opened at the first reading, not at the launch: a first open of a new
// process's /proc entry, next to its exec, costs tens of microseconds that a
// command ending within a millisecond never needs. The pid names the child
// until it is reaped, and readings stop before that. An open that fails is
// tried again at the next reading.
static int OpenStatusFile(pid_t pid) {
    char path[32];
    snprintf(path, sizeof(path), "/proc/%d/status", static_cast<int>(pid));
    return open(path, O_RDONLY | O_CLOEXEC);
}

void SamplePeakVirtual(PosixProcess* process) {
    if (process->StatusFd < 0) process->StatusFd = OpenStatusFile(process->Pid);
    if (process->StatusFd < 0) return;
    char status[4096];
    ssize_t length = pread(process->StatusFd, status, sizeof(status) - 1, 0);
    if (length <= 0) return;
    status[length] = 0;
    ULONGLONG peak = ParseVmPeak(status);
    if (peak > process->PeakVirtualBytes) process->PeakVirtualBytes = peak;
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
    // A child gone before its address space could be read, or one that
    // grew in its last moments, leaves the readings short; what was ever
    // resident was mapped, so the resident peak is a floor under the figure.
    counters->PeakPagefileUsage =
        process->PeakVirtualBytes > peakResident ? process->PeakVirtualBytes : peakResident;
    return TRUE;
}

BOOL WINAPI GetProcessMemoryInfo(HANDLE handle, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    return K32GetProcessMemoryInfo(handle, counters, cb);
}
