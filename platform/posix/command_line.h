// Linux has an argument vector where Windows has one command line. wexel's
// own arguments are joined into the raw line by the Windows run-time's
// quoting rules, so that the core finds the command tail where Windows
// would put it; the tail, unchanged, then stands for the arguments behind
// it, which go to the command as they were received.
#ifndef WEXEL_PLATFORM_POSIX_COMMAND_LINE_H
#define WEXEL_PLATFORM_POSIX_COMMAND_LINE_H

#include "platform.h"

// The process's arguments, as main receives them (arguments[count] is
// NULL). The raw line is built from them when it is first asked for; one
// built from earlier arguments is let go.
void KeepArguments(int argumentCount, char** arguments);

// The arguments after wexel's own name when commandLine is the tail of the
// raw line, unchanged: a vector that lives as long as the process. NULL with
// errno set otherwise: ENOMEM when the raw line was lost to exhausted
// memory, ENOENT for an empty line, EINVAL for any other line.
char* const* ArgumentsOfCommandTail(LPCWSTR commandLine);

#endif
