#include "command_tail.h"

static bool IsBlank(WCHAR unit) {
    return unit == ' ' || unit == '\t';
}

// Only spaces and tabs separate. Within the program's name a quote flips
// quoting wherever it stands, and a backslash is an ordinary character:
// these are the rules the system uses to find a program's name.
LPCWSTR GetCommandTail(LPCWSTR commandLine) {
    LPCWSTR unit = commandLine;
    while (IsBlank(*unit)) ++unit;

    bool quoted = false;
    for (; *unit != 0; ++unit) {
        if (*unit == '"') {
            quoted = !quoted;
        } else if (IsBlank(*unit) && !quoted) {
            break;
        }
    }

    while (IsBlank(*unit)) ++unit;
    return unit;
}
