#include "report.h"

static const ULONGLONG UnitsPerSecond = 10000000;
static const ULONGLONG UnitsPerMillisecond = 10000;
// Above this a value times 100 could overflow 64 bits.
static const ULONGLONG PercentageScaleLimit = 0x100000000000000ull;

static ULONGLONG Percentage(ULONGLONG value, ULONGLONG total) {
    while (value > PercentageScaleLimit) {
        value >>= 1;
        total >>= 1;
    }
    return total == 0 ? 0 : value * 100 / total;
}

void PrintTimeLine(const char* label, ULONGLONG value, ULONGLONG total) {
    printf("\n%s", label);
    unsigned milliseconds =
        static_cast<unsigned>((value % UnitsPerSecond) / UnitsPerMillisecond);
    printf(" =%6" FORMAT_I64 "u.%03u", value / UnitsPerSecond, milliseconds);
    printf(" =%5" FORMAT_I64 "u%%", Percentage(value, total));
}

// Whole megabytes, rounded up.
static void PrintMemory(const char* label, ULONGLONG bytes) {
    printf("    %s =%7" FORMAT_I64 "u MB", label, (bytes + 1048575) >> 20);
}

void PrintReport(const RunMeasurement* measurement) {
    printf("\n");
    if (measurement->TimesValid) {
        ULONGLONG global = measurement->ExitTime - measurement->CreationTime;
        PrintTimeLine("Kernel  Time", measurement->KernelTime, global);
        PrintTimeLine("User    Time", measurement->UserTime, global);
        PrintTimeLine("Process Time", measurement->KernelTime + measurement->UserTime, global);
        if (measurement->MemoryValid)
            PrintMemory("Virtual  Memory", measurement->PeakPagefileUsage);
        PrintTimeLine("Global  Time", global, global);
        if (measurement->MemoryValid)
            PrintMemory("Physical Memory", measurement->PeakWorkingSetSize);
    } else {
        // Without the child's own times, the tick count around the run.
        ULONGLONG elapsed = static_cast<ULONGLONG>(measurement->ElapsedTicks) * UnitsPerMillisecond;
        PrintTimeLine("Global Time ", elapsed, elapsed);
    }
    printf("\n");
}
