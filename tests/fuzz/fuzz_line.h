// The fuzzer's bytes as a NUL-terminated string of 16-bit units, in a heap
// block that ends exactly at the NUL, so that a read past it is an overread
// AddressSanitizer reports. NULL when memory is exhausted; free() it.
#ifndef WEXEL_TESTS_FUZZ_LINE_H
#define WEXEL_TESTS_FUZZ_LINE_H

#include "platform.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static inline WCHAR* CopyAsLine(const uint8_t* data, size_t size) {
    size_t units = size / sizeof(WCHAR);
    WCHAR* line = static_cast<WCHAR*>(malloc((units + 1) * sizeof(WCHAR)));
    if (line == NULL) return NULL;
    memcpy(line, data, units * sizeof(WCHAR));
    line[units] = 0;
    return line;
}

#endif
