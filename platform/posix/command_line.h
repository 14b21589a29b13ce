// Linux has an argument vector where Windows has one command line. These
// turn one into the other by the Windows run-time's quoting rules, so that
// any list of non-NUL byte strings survives the round trip unchanged.
#ifndef WEXEL_PLATFORM_POSIX_COMMAND_LINE_H
#define WEXEL_PLATFORM_POSIX_COMMAND_LINE_H

#include "platform.h"

// The program's name, then each argument quoted; one byte per 16-bit unit.
// The name is written so that the first token of the line covers it whole.
// A heap block, or NULL when memory is exhausted.
LPWSTR BuildCommandLine(int argumentCount, char* const* arguments);

// Splits a command line back into a NULL-terminated argument vector held in
// one heap block (free it once); for the tail of wexel's own raw line, the
// vector points at wexel's own arguments instead. NULL with errno set on
// failure: EILSEQ for a unit that no byte can carry, ENOMEM.
char** SplitCommandLine(LPCWSTR commandLine);

// True when GetCommandLineW could not build the raw line for want of memory
// and handed out the empty line in its place.
bool CommandLineLost(void);

// Lets go of the resident pages of a long raw line, which stays readable
// (its pages come back as they were). True when pages were let go.
bool ReleaseCommandLinePages(void);

#endif
