// SplitCommandLine over any string of 16-bit units, as a user may type it:
// no read past the NUL (the copy ends exactly there), units above 0xFF
// refused with EILSEQ, and what it gives is a fixed point: joined again and
// split again, the same arguments come back.
#include "command_line.h"
#include "fuzz_line.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WCHAR* line = CopyAsLine(data, size);
    if (line == NULL) return 0;
    bool wide = false;
    for (size_t i = 0; line[i] != 0; ++i) wide = wide || line[i] > 0xFF;

    char** split = SplitCommandLine(line);
    if (wide) {
        if (split != NULL || errno != EILSEQ) abort();
        free(line);
        return 0;
    }
    if (split == NULL) abort();
    int count = 0;
    while (split[count] != NULL) ++count;

    LPWSTR joined = BuildCommandLine(count, split);
    if (joined == NULL) abort();
    char** again = SplitCommandLine(joined);
    if (again == NULL) abort();
    for (int i = 0; i < count; ++i) {
        if (again[i] == NULL || strcmp(again[i], split[i]) != 0) abort();
    }
    if (again[count] != NULL) abort();

    free(again);
    free(joined);
    free(split);
    free(line);
    return 0;
}
