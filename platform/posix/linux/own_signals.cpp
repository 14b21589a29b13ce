// wexel's own signal dispositions, set once at start-up, before the core
// runs:
//  - SIGCHLD goes back to the default if wexel was started with it ignored:
//    the kernel would otherwise reap the command itself and lose its status.
//  - SIGPIPE and SIGXFSZ are ignored for wexel, where they were at the
//    default, and noted so that the command gets the default back: a reader
//    that has gone, or a file size limit, then costs wexel its report at
//    most, never the command's status.
#include "child.h"
#include "system_calls.h"

#include <string.h>

static sigset_t g_changedFromDefault;

// The usual case costs one call. A caught signal is reset to the default
// in the command by exec itself; an ignored one stays ignored there, as
// whoever ignored it meant.
bool CatchIfDefault(int signalNumber, void (*handler)(int), int flags) {
    struct sigaction action, old;
    memset(&action, 0, sizeof(action));
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    if (osSigaction(signalNumber, &action, &old) != 0) return false;
    if (old.sa_handler == SIG_DFL) return true;
    osSigaction(signalNumber, &old, NULL);
    return false;
}

static void IgnoreIfDefault(int signalNumber) {
    if (CatchIfDefault(signalNumber, SIG_IGN, 0)) sigaddset(&g_changedFromDefault, signalNumber);
}

static void KeepChildStatus(void) {
    struct sigaction old;
    if (osSigaction(SIGCHLD, NULL, &old) == 0 && old.sa_handler == SIG_IGN)
        signal(SIGCHLD, SIG_DFL);
}

void PrepareOwnSignals(void) {
    sigemptyset(&g_changedFromDefault);
    KeepChildStatus();
    IgnoreIfDefault(SIGPIPE);
    IgnoreIfDefault(SIGXFSZ);
}

void GetSignalsChangedFromDefault(sigset_t* signals) {
    *signals = g_changedFromDefault;
}
