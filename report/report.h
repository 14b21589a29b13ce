#ifndef WEXEL_REPORT_REPORT_H
#define WEXEL_REPORT_REPORT_H

#include "measured_run.h"

// One report line, starting with its own newline: the value in seconds with
// milliseconds and as a percentage of total (both in 100 ns units).
void PrintTimeLine(const char* label, ULONGLONG value, ULONGLONG total);

// The whole report of a started run, on standard output.
void PrintReport(const RunMeasurement* measurement);

#endif
