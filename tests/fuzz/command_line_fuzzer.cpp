// The Linux layer's raw command line, built from wexel's own arguments. The
// input is an argument vector: NUL bytes separate the arguments, the first
// of which is the program's own name, any bytes at all.
//  - GetCommandTail on the line skips exactly the program's name, so the
//    child's command line starts at its first argument;
//  - that tail, unchanged, stands for the very arguments received;
//  - the line reads back by the Windows run-time's rules as every
//    argument, byte for byte, the name included.
#include "command_line.h"
#include "command_tail.h"
#include "windows_rules_split.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const size_t MaxArguments = 64;

static size_t UnitCount(LPCWSTR line) {
    size_t count = 0;
    while (line[count] != 0) ++count;
    return count;
}

static void ExpectSplit(LPCWSTR line, char* const* expected, size_t count) {
    std::vector<std::string> split;
    if (!SplitByWindowsRules(line, &split) || split.size() != count) abort();
    for (size_t i = 0; i < count; ++i)
        if (split[i] != expected[i]) abort();
}

// The name's own line, as a process with no arguments has it.
static std::u16string NameLine(char* name) {
    char* alone[] = {name, NULL};
    KeepArguments(1, alone);
    return GetCommandLineW();
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

    std::u16string name = NameLine(arguments[0]);
    KeepArguments(static_cast<int>(count), arguments);
    LPCWSTR line = GetCommandLineW();
    for (LPCWSTR unit = line; *unit != 0; ++unit) {
        if (*unit > 0xFF) abort();
    }

    // The name alone is the line's start; one blank follows it when there
    // are arguments, and the tail starts right after that blank.
    size_t nameUnits = name.size();
    if (UnitCount(line) < nameUnits || memcmp(line, name.data(), nameUnits * sizeof(WCHAR)) != 0)
        abort();
    LPCWSTR tail = GetCommandTail(line);
    size_t expectedAt = count > 1 ? nameUnits + 1 : nameUnits;
    if (tail != line + expectedAt) abort();
    if (count > 1 && ArgumentsOfCommandTail(tail) != arguments + 1) abort();

    ExpectSplit(tail, arguments + 1, count - 1);
    ExpectSplit(line, arguments, count);

    KeepArguments(0, NULL);
    free(bytes);
    return 0;
}
