// The command's memory peaks as PROCESS_MEMORY_COUNTERS.
#include "process_handles.h"

#include <errno.h>

BOOL WINAPI MemoryCountersOfChild(HANDLE handle, PPROCESS_MEMORY_COUNTERS counters, DWORD cb) {
    Child* child = ChildFromHandle(handle);
    if (child == NULL) return FALSE;
    // Figures for a command still running would be half-made.
    if (counters == NULL || cb < sizeof(PROCESS_MEMORY_COUNTERS) || !child->Ended ||
        child->LostError != 0) {
        SetLastError(EINVAL);
        return FALSE;
    }
    memset(counters, 0, sizeof(*counters));
    counters->cb = sizeof(*counters);
    counters->PageFaultCount = static_cast<DWORD>(child->Usage.ru_minflt + child->Usage.ru_majflt);
    SIZE_T peakResident = static_cast<SIZE_T>(child->Usage.ru_maxrss) * 1024;
    counters->PeakWorkingSetSize = peakResident;
    // The command's own largest VmPeak, even below the resident peak (which
    // also holds its waited-for descendants'). Only when no reading could be
    // taken at all (a command gone within the first millisecond, no /proc
    // of this namespace) does the resident peak stand in for it.
    counters->PeakPagefileUsage = child->PeakVirtualBytes != 0
                                      ? static_cast<SIZE_T>(child->PeakVirtualBytes)
                                      : peakResident;
    return TRUE;
}
