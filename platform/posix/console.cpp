// Console control events on a terminal: SIGINT is Ctrl+C, SIGQUIT is
// Ctrl+Break. Like Windows, the handlers run newest first and the first to
// return TRUE ends the event; when none does, the default action follows.
// Only a signal at its default is taken over (CatchIfDefault): one that
// wexel was started with ignored stays ignored.
#include "linux/child.h"
#include "platform.h"

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
    ActOnDefault(signalNumber);
    errno = savedErrno;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    if (handler == NULL) {
        SetLastError(EINVAL);
        return FALSE;
    }
    if (add) {
        if (g_handlerCount == MaxHandlers) {
            SetLastError(ENOMEM);
            return FALSE;
        }
        g_handlers[g_handlerCount] = handler;
        g_handlerCount = g_handlerCount + 1;
        if (!g_signalsInstalled) {
            CatchIfDefault(SIGINT, OnConsoleSignal, SA_RESTART);
            CatchIfDefault(SIGQUIT, OnConsoleSignal, SA_RESTART);
            // While the command runs, the wait takes the terminal's
            // interrupts itself and hands them over here.
            SetTerminalInterruptHandler(OnConsoleSignal);
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
    SetLastError(EINVAL);
    return FALSE;
}
