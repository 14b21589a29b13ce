#ifndef WEXEL_RUN_COMMAND_TAIL_H
#define WEXEL_RUN_COMMAND_TAIL_H

#include "platform.h"

// The child's command line inside wexel's own raw command line: everything
// after wexel's name and the blanks behind it, exactly as typed.
LPCWSTR GetCommandTail(LPCWSTR commandLine);

#endif
