// Console control events on a terminal: SIGINT is Ctrl+C, SIGQUIT is
// Ctrl+Break. Like Windows, the handlers run newest first and the first to
// return TRUE ends the event; when none does, the default action follows.
#include "layer.h"

#include <errno.h>

static const int MaxHandlers = 8;
static PHANDLER_ROUTINE g_handlers[MaxHandlers];
static volatile sig_atomic_t g_handlerCount;
static bool g_signalsInstalled;

static void OnConsoleSignal(int signalNumber) {
    int savedErrno = errno;
    DWORD event = signalNumber == SIGINT ? CTRL_C_EVENT : CTRL_BREAK_EVENT;
    for (int i = g_handlerCount - 1; i >= 0; --i) {
        if (g_handlers[i](event)) {
            errno = savedErrno;
            return;
        }
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    errno = savedErrno;
}

// Every signal the layer takes over is one at its default: a signal that
// wexel was started with ignored stays ignored, for wexel and for the child,
// neither of which is meant to see it. A caught signal is reset to the
// default in the child by exec itself. The usual case costs one call.
bool ReplaceDefaultAction(int signalNumber, void (*handler)(int), int flags) {
    struct sigaction action, old;
    memset(&action, 0, sizeof(action));
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    if (sigaction(signalNumber, &action, &old) != 0) return false;
    if (old.sa_handler == SIG_DFL) return true;
    sigaction(signalNumber, &old, NULL);
    return false;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    if (handler == NULL) {
        SetLastErrorCode(EINVAL);
        return FALSE;
    }
    if (add) {
        if (g_handlerCount == MaxHandlers) {
            SetLastErrorCode(ENOMEM);
            return FALSE;
        }
        g_handlers[g_handlerCount] = handler;
        g_handlerCount = g_handlerCount + 1;
        if (!g_signalsInstalled) {
            ReplaceDefaultAction(SIGINT, OnConsoleSignal, SA_RESTART);
            ReplaceDefaultAction(SIGQUIT, OnConsoleSignal, SA_RESTART);
            g_signalsInstalled = true;
        }
        return TRUE;
    }
    for (int i = g_handlerCount - 1; i >= 0; --i) {
        if (g_handlers[i] != handler) continue;
        for (int j = i; j + 1 < g_handlerCount; ++j) g_handlers[j] = g_handlers[j + 1];
        g_handlerCount = g_handlerCount - 1;
        return TRUE;
    }
    SetLastErrorCode(EINVAL);
    return FALSE;
}
