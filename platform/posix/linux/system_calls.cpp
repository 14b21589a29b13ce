#include "system_calls.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

template <typename Function>
static SystemCallPointer AsPointer(Function function) {
    return reinterpret_cast<SystemCallPointer>(function);
}

#define WEXEL_ENTRY(name) {#name, AsPointer(name), AsPointer(name)}

// In the order of SystemCallIndex. Filled before main runs; the layer only
// reads it.
SystemCall g_systemCalls[SystemCallCount] = {
    WEXEL_ENTRY(clone),     WEXEL_ENTRY(wait4),  WEXEL_ENTRY(waitid),
    WEXEL_ENTRY(sigtimedwait), WEXEL_ENTRY(kill), WEXEL_ENTRY(sigaction),
    WEXEL_ENTRY(calloc),    WEXEL_ENTRY(malloc), WEXEL_ENTRY(open),
    WEXEL_ENTRY(pread),     WEXEL_ENTRY(clock_gettime), WEXEL_ENTRY(pipe2),
};
