// wexel ends as its command ended, once the report is out. A command killed
// by signal N leaves wexel to end by the same signal, so that its caller
// sees what it would have seen of the command: bash stops a loop after a
// Ctrl+C and prints its "Segmentation fault" notice. The start-up in
// ../main.cpp does it, after the core has returned.
#include "child.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

static int g_childSignal;            // the signal that killed the command, or 0
static int g_flagsBeforeStart = -1;  // standard output's flags before the start
static int g_flagsLeftByChild = -1;  // to give standard output back, when changed

void NoteOutputBeforeStart(void) {
    g_flagsBeforeStart = fcntl(STDOUT_FILENO, F_GETFL);
}

// A command may leave the standard output it shares with wexel
// non-blocking (libuv and Node programs do); the report would then be cut
// short by EAGAIN at a reader that is only slow. It goes out blocking, and
// the flags the command left are put back after it. Output that was
// non-blocking from the start is left as it was: whoever made it so may
// never read it.
static void MakeOutputBlocking(void) {
    int flags = fcntl(STDOUT_FILENO, F_GETFL);
    if (flags < 0 || !(flags & O_NONBLOCK) || g_flagsBeforeStart < 0 ||
        (g_flagsBeforeStart & O_NONBLOCK))
        return;
    if (fcntl(STDOUT_FILENO, F_SETFL, flags & ~O_NONBLOCK) == 0) g_flagsLeftByChild = flags;
}

void NoteChildEnd(const Child* child) {
    MakeOutputBlocking();
    bool killed = child->LostError == 0 && WIFSIGNALED(child->WaitStatus);
    g_childSignal = killed ? WTERMSIG(child->WaitStatus) : 0;
}

void GiveOutputFlagsBack(void) {
    if (g_flagsLeftByChild >= 0) fcntl(STDOUT_FILENO, F_SETFL, g_flagsLeftByChild);
}

int SignalThatEndedChild(void) {
    return g_childSignal;
}

// The signal is the command's, not a fault of wexel's: PR_SET_DUMPABLE 0
// keeps wexel from writing a core file of its own, whatever the core limit
// says, and a core limit of 0 does the same where prctl is refused (a
// seccomp filter). Then the signal's default action, unblocked, and raised.
void EndBySignal(int signalNumber) {
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    struct rlimit noCore;
    if (getrlimit(RLIMIT_CORE, &noCore) == 0) {
        noCore.rlim_cur = 0;
        setrlimit(RLIMIT_CORE, &noCore);
    }
    signal(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, NULL);
    raise(signalNumber);
    // A signal whose default is not to end the process (none that kills a
    // command is such) leaves wexel here.
    _exit(128 + signalNumber);
}
