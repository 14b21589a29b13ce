// GetCommandTail over any string of 16-bit units. The input is copied into a
// heap block that ends exactly at its NUL, so a read past it is an overread
// that AddressSanitizer reports.
#include "command_tail.h"
#include "fuzz_line.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static bool IsBlank(WCHAR unit) {
    return unit == ' ' || unit == '\t';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WCHAR* line = CopyAsLine(data, size);
    if (line == NULL) return 0;
    size_t end = 0;
    while (line[end] != 0) ++end;

    LPCWSTR tail = GetCommandTail(line);

    // Inside the string, at or before its NUL.
    if (tail < line || tail > line + end) abort();
    size_t at = static_cast<size_t>(tail - line);
    // The tail starts on something that is not a blank, or is empty.
    if (at < end && IsBlank(line[at])) abort();

    // What was skipped is blanks, one name, blanks: trim both blank runs and
    // every blank left in between stands inside quotes. A name that ends
    // before the NUL ends at a blank with its quotes closed.
    size_t first = 0;
    while (first < at && IsBlank(line[first])) ++first;
    size_t last = at;
    while (last > first && IsBlank(line[last - 1])) --last;
    bool quoted = false;
    for (size_t i = first; i < last; ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (IsBlank(line[i]) && !quoted) abort();
    }
    if (at < end && (last == at || quoted)) abort();
    if (at < end && last == first) abort();

    free(line);
    return 0;
}
