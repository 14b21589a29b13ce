// The Linux layer's command line, joined and split again. The input is an
// argument vector: NUL bytes separate the arguments, the first of which is
// the program's own name, any bytes at all.
//  - GetCommandTail on the joined line skips exactly the program's name, so
//    the child's command line starts at its first argument;
//  - splitting that tail gives back every argument, byte for byte;
//  - so does splitting the whole line, the name included.
#include "command_line.h"
#include "command_tail.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const size_t MaxArguments = 64;

static size_t UnitCount(LPCWSTR line) {
    size_t count = 0;
    while (line[count] != 0) ++count;
    return count;
}

// Splits a copy of line that ends exactly at its NUL, so that a read past
// it is reported, and checks the result against expected[0..count).
static void ExpectSplit(LPCWSTR line, char* const* expected, size_t count) {
    size_t units = UnitCount(line) + 1;
    WCHAR* copy = static_cast<WCHAR*>(malloc(units * sizeof(WCHAR)));
    if (copy == NULL) return;
    memcpy(copy, line, units * sizeof(WCHAR));
    char** split = SplitCommandLine(copy);
    if (split == NULL) abort();
    for (size_t i = 0; i < count; ++i) {
        if (split[i] == NULL || strcmp(split[i], expected[i]) != 0) abort();
    }
    if (split[count] != NULL) abort();
    free(split);
    free(copy);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One NUL-terminated copy of the input; each argument points into it.
    char* bytes = static_cast<char*>(malloc(size + 1));
    if (bytes == NULL) return 0;
    memcpy(bytes, data, size);
    bytes[size] = 0;
    char* arguments[MaxArguments + 1];
    size_t count = 0;
    for (char* at = bytes; count < MaxArguments;) {
        arguments[count++] = at;
        at += strlen(at);
        if (at == bytes + size) break;
        ++at;
    }
    arguments[count] = NULL;

    LPWSTR line = BuildCommandLine(static_cast<int>(count), arguments);
    LPWSTR name = BuildCommandLine(1, arguments);
    if (line == NULL || name == NULL) abort();
    for (LPCWSTR unit = line; *unit != 0; ++unit) {
        if (*unit > 0xFF) abort();
    }

    // The name alone is the line's start; one blank follows it when there
    // are arguments, and the tail starts right after that blank.
    size_t nameUnits = UnitCount(name);
    if (memcmp(line, name, nameUnits * sizeof(WCHAR)) != 0) abort();
    LPCWSTR tail = GetCommandTail(line);
    size_t expectedAt = count > 1 ? nameUnits + 1 : nameUnits;
    if (tail != line + expectedAt) abort();

    ExpectSplit(tail, arguments + 1, count - 1);
    ExpectSplit(line, arguments, count);

    free(name);
    free(line);
    free(bytes);
    return 0;
}
