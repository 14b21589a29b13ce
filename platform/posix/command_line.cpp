#include "command_line.h"
#include "linux/child.h"

#include <errno.h>

static bool NeedsQuotes(const char* argument) {
    return *argument == 0 || strpbrk(argument, " \t\"") != NULL;
}

// Writes (when out is not NULL) and counts the units of one character run.
static size_t Put(LPWSTR out, size_t at, unsigned char byte, size_t times) {
    if (out != NULL)
        for (size_t i = 0; i < times; ++i) out[at + i] = byte;
    return at + times;
}

static size_t PutBackslashesBefore(LPWSTR out, size_t at, const char** c, bool doubled) {
    size_t backslashes = 0;
    while (**c == '\\') {
        ++backslashes;
        ++*c;
    }
    return Put(out, at, '\\', doubled ? backslashes * 2 : backslashes);
}

// The name has to be skipped whole by the rule that finds a program's name
// (quotes toggle, nothing escapes) and read back whole by the argument
// rules. Inside quotes a quote is doubled, and so is a run of backslashes
// before a quote or before the closing quote: the first rule sees pairs of
// quotes, which leave the quoting as it was; the second reads each doubled
// run back as the run and "" as one quote.
//
//   name (bytes)       written
//   wexel              wexel
//   /opt/my tools/wx   "/opt/my tools/wx"
//   a"b                "a""b"
//   C:\dir\ x\         "C:\dir\ x\\"
//   ab\"c              "ab\\""c"
//   (empty)            ""
static size_t PutProgramName(LPWSTR out, size_t at, const char* name) {
    if (!NeedsQuotes(name)) {
        for (; *name != 0; ++name) at = Put(out, at, static_cast<unsigned char>(*name), 1);
        return at;
    }
    at = Put(out, at, '"', 1);
    for (const char* c = name;; ++c) {
        const char* run = c;
        while (*run == '\\') ++run;
        at = PutBackslashesBefore(out, at, &c, *run == '"' || *run == 0);
        if (*c == 0) break;
        at = Put(out, at, static_cast<unsigned char>(*c), *c == '"' ? 2 : 1);
    }
    return Put(out, at, '"', 1);
}

// Backslashes are literal except in a run before a quote: that run is
// doubled and the quote escaped. A closing quote counts as such a quote.
//
//   argument (bytes)   written
//   make               make
//   (empty)            ""
//   a b                "a b"
//   a"b                "a\"b"
//   a\b                a\b
//   a\\"b              "a\\\\\"b"
//   tail\ \            "tail\ \\"
static size_t PutArgument(LPWSTR out, size_t at, const char* argument) {
    bool quoted = NeedsQuotes(argument);
    if (quoted) at = Put(out, at, '"', 1);
    for (const char* c = argument;; ++c) {
        const char* run = c;
        while (*run == '\\') ++run;
        if (*run == 0) {
            at = PutBackslashesBefore(out, at, &c, quoted);
            break;
        }
        at = PutBackslashesBefore(out, at, &c, *run == '"');
        if (*c == '"') at = Put(out, at, '\\', 1);
        at = Put(out, at, static_cast<unsigned char>(*c), 1);
    }
    if (quoted) at = Put(out, at, '"', 1);
    return at;
}

static size_t PutCommandLine(LPWSTR out, int argumentCount, char* const* arguments) {
    size_t at = 0;
    if (argumentCount > 0) at = PutProgramName(out, at, arguments[0]);
    for (int i = 1; i < argumentCount; ++i) {
        at = Put(out, at, ' ', 1);
        at = PutArgument(out, at, arguments[i]);
    }
    return Put(out, at, 0, 1);
}

static int g_argumentCount;
static char** g_arguments;
// The raw line, built once from the arguments and kept as Windows keeps its
// own; NULL until asked for. A long one lives in pages that are let go
// while the command runs (AllocateReleasable).
static LPWSTR g_line;
static size_t g_lineUnits;  // NUL included
static size_t g_tailUnits;  // where the first argument starts in the line
// A line that could not be built stays lost (the empty line stands in), so
// that every caller sees the same line.
static bool g_lineLost;

void KeepArguments(int argumentCount, char** arguments) {
    FreeReleasable(g_line, g_lineUnits * sizeof(WCHAR));
    g_line = NULL;
    g_lineLost = false;
    g_argumentCount = argumentCount;
    g_arguments = arguments;
}

LPWSTR GetCommandLineW(void) {
    static WCHAR empty[1];
    if (g_line == NULL && !g_lineLost) {
        size_t units = PutCommandLine(NULL, g_argumentCount, g_arguments);
        g_line = static_cast<LPWSTR>(AllocateReleasable(units * sizeof(WCHAR)));
        g_lineLost = g_line == NULL;
        if (g_lineLost) return empty;
        g_lineUnits = units;
        PutCommandLine(g_line, g_argumentCount, g_arguments);
        if (g_argumentCount > 1) g_tailUnits = PutProgramName(NULL, 0, g_arguments[0]) + 1;
    }
    return g_line != NULL ? g_line : empty;
}

// Unit by unit, the NUL included: a shorter line ends at its NUL, where
// the tail has none, and no second copy of every argument is made (nor is
// resident when the command starts).
char* const* ArgumentsOfCommandTail(LPCWSTR commandLine) {
    errno = g_lineLost ? ENOMEM : *commandLine == 0 ? ENOENT : EINVAL;
    if (g_line == NULL || g_argumentCount < 2) return NULL;
    LPCWSTR tail = g_line + g_tailUnits;
    for (size_t i = 0; i < g_lineUnits - g_tailUnits; ++i)
        if (commandLine[i] != tail[i]) return NULL;
    return g_arguments + 1;
}
