// wexel ends as its child ended, once the report is out. A child killed by
// signal N leaves wexel to end by the same signal, so that its caller sees
// what it would have seen of the child: bash stops a loop after a Ctrl+C and
// prints its "Segmentation fault" notice. wexel's exit status, should the
// signal somehow not end it, still says 128 + N.
#include "layer.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

static int g_childSignal;
static int g_flagsBeforeLaunch = -1;
static int g_outputFlags = -1;  // to give standard output back, when changed

static void EndBySignal(int signalNumber) {
    // The signal is the child's, not a fault of wexel's: no core file of
    // wexel's own, whatever the core limit says.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, NULL);
    raise(signalNumber);
}

// Runs as exit does its work, before the streams are flushed; the report
// has to be out before a signal ends the process.
static void FinishAtExit(int status, void*) {
    fflush(stdout);
    if (g_outputFlags >= 0) fcntl(STDOUT_FILENO, F_SETFL, g_outputFlags);
    // A program that ran a child killed by a signal and then ends on a
    // status of its own, as a test program does, keeps that status.
    if (g_childSignal != 0 && status == 128 + g_childSignal) EndBySignal(g_childSignal);
}

void NoteOutputBeforeLaunch(void) {
    g_flagsBeforeLaunch = fcntl(STDOUT_FILENO, F_GETFL);
}

// A child may leave the standard output it shares with wexel non-blocking
// (libuv and Node programs do); the report would then be cut short by
// EAGAIN at a reader that is only slow. It goes out blocking, and the flags
// the child left are put back after it. Output that was non-blocking from
// the start is left as it was: whoever made it so may never read it.
static void WriteOutputBlocking(void) {
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    if (flags < 0 || !(flags & O_NONBLOCK) || g_flagsBeforeLaunch < 0 ||
        (g_flagsBeforeLaunch & O_NONBLOCK))
        return;
    if (fcntl(STDOUT_FILENO, F_SETFL, flags & ~O_NONBLOCK) == 0) g_outputFlags = flags;
}

#ifndef __GLIBC__
// Where exit does not tell its handlers the status, wexel's own status is
// taken to be the child's, which it is whenever the child was killed.
static void FinishAtExitWithChildStatus(void) {
    FinishAtExit(128 + g_childSignal, NULL);
}
#endif

void EndAsChildEnded(int waitStatus) {
    static bool registered;
#ifdef __GLIBC__
    if (!registered) registered = on_exit(FinishAtExit, NULL) == 0;
#else
    if (!registered) registered = atexit(FinishAtExitWithChildStatus) == 0;
#endif
    WriteOutputBlocking();
    g_childSignal = WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0;
}
