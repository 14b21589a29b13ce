// Signals sent to wexel alone that are meant for the work it runs: a
// supervisor's SIGTERM, a hang-up, an alarm the caller left behind, the
// user signals. Without wexel they would have reached the command, so wexel
// passes them on to it and goes on waiting, to report the run as it ends.
// SIGINT and SIGQUIT are the console's (../console.cpp): typed at a
// terminal they reach the whole foreground group, the command included,
// and are not passed on a second time.
#include "child.h"
#include "system_calls.h"

#include <errno.h>

static const int ForwardedSignals[] = {SIGTERM, SIGHUP, SIGALRM, SIGUSR1, SIGUSR2};
static const int ForwardedCount = sizeof(ForwardedSignals) / sizeof(ForwardedSignals[0]);

// The command's pid while there is one to pass signals to; 0 before the
// start, -1 after the reap. The wait blocks these signals but while it
// sleeps, so the pid is never cleared under a handler that is using it.
static volatile sig_atomic_t g_target;
static volatile sig_atomic_t g_pending[ForwardedCount];
static bool g_caught[ForwardedCount];

static void OnSignalForChild(int signalNumber) {
    int savedErrno = errno;
    pid_t target = g_target;
    for (int i = 0; i < ForwardedCount; ++i) {
        if (ForwardedSignals[i] != signalNumber) continue;
        if (target > 0) {
            osKill(target, signalNumber);
        } else if (target == 0) {
            g_pending[i] = 1;
        }
    }
    errno = savedErrno;
}

// Only signals at their default are caught: one that wexel was started
// with ignored stays ignored, for wexel and for the command.
void StartCatchingSignalsForChild(void) {
    g_target = 0;
    for (int i = 0; i < ForwardedCount; ++i)
        if (!g_caught[i])
            g_caught[i] = CatchIfDefault(ForwardedSignals[i], OnSignalForChild, SA_RESTART);
}

// Pending flags are read only after the pid is in place: a signal that
// comes in between either sees the pid or has set its flag already.
void PassSignalsToChild(pid_t pid) {
    g_target = pid;
    for (int i = 0; i < ForwardedCount; ++i) {
        if (!g_pending[i]) continue;
        g_pending[i] = 0;
        osKill(pid, ForwardedSignals[i]);
    }
}

void StopPassingSignals(void) {
    g_target = -1;
}

void GiveSignalsBackAfterFailedStart(void) {
    for (int i = 0; i < ForwardedCount; ++i) {
        if (!g_caught[i]) continue;
        signal(ForwardedSignals[i], SIG_DFL);
        g_caught[i] = false;
        if (g_pending[i]) {
            g_pending[i] = 0;
            raise(ForwardedSignals[i]);
        }
    }
}

void AddSignalsForChild(sigset_t* signals) {
    for (int i = 0; i < ForwardedCount; ++i)
        if (g_caught[i]) sigaddset(signals, ForwardedSignals[i]);
}
