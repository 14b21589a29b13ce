// wexel's own signal dispositions, set once at start-up, before the core
// runs, and put back for the command and after the reap:
//  - SIGCHLD goes back to the default if wexel was started with it ignored:
//    the kernel would otherwise reap the command itself and lose its status.
//    The command gets it ignored, as it was given.
//  - SIGPIPE and SIGXFSZ are ignored for wexel, where they were at the
//    default: a reader that has gone, or a file size limit, then costs wexel
//    its report at most, never the command's status. They stay so for the
//    report; the command gets the default back.
//  - SIGINT and SIGQUIT are caught for the console (../console.cpp).
// Every other disposition is left as wexel was given it: while the command
// runs, every signal is blocked and taken by the wait (signals_for_child.cpp),
// and a blocked signal is kept pending whatever its disposition.
#include "child.h"
#include "system_calls.h"

#include <string.h>

static sigset_t g_changedFromDefault;  // to be set back to the default
static bool g_childSignalsIgnored;     // SIGCHLD was ignored at the start

// The usual case costs one call.
bool CatchIfDefault(int signalNumber, void (*handler)(int), int flags) {
    struct sigaction action, old;
    memset(&action, 0, sizeof(action));
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    if (osSigaction(signalNumber, &action, &old) != 0) return false;
    if (old.sa_handler == SIG_DFL) {
        sigaddset(&g_changedFromDefault, signalNumber);
        return true;
    }
    osSigaction(signalNumber, &old, NULL);
    return false;
}

static void KeepChildStatus(void) {
    struct sigaction old;
    g_childSignalsIgnored = osSigaction(SIGCHLD, NULL, &old) == 0 && old.sa_handler == SIG_IGN;
    if (g_childSignalsIgnored) signal(SIGCHLD, SIG_DFL);
}

void PrepareOwnSignals(void) {
    KeepChildStatus();
    CatchIfDefault(SIGPIPE, SIG_IGN, 0);
    CatchIfDefault(SIGXFSZ, SIG_IGN, 0);
}

// One sigaction a changed signal, no allocation and no lock: safe in the
// command between its start and its exec, which share wexel's memory.
void RestoreDispositionsForChild(void) {
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber)
        if (sigismember(&g_changedFromDefault, signalNumber)) signal(signalNumber, SIG_DFL);
    if (g_childSignalsIgnored) signal(SIGCHLD, SIG_IGN);
}

// The console's handlers stay, as Windows keeps them, and so does wexel's
// own ignoring of SIGPIPE and SIGXFSZ, for the report.
void RestoreDispositionsAfterReap(void) {
    if (g_childSignalsIgnored) signal(SIGCHLD, SIG_IGN);
}
