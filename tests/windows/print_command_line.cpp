// Test child: prints its own raw command line, one UTF-16 unit at a time as
// four hex digits, so that the test sees exactly what it was given: blanks,
// quotes and backslashes included, nothing split or unquoted.
#include <windows.h>

#include <stdio.h>

int main() {
    for (LPCWSTR unit = GetCommandLineW(); *unit != 0; ++unit)
        printf("%04x", static_cast<unsigned>(*unit));
    printf("\n");
    return 0;
}
