// The command's stops, mirrored as sudo mirrors them. A shell knows wexel
// as the job, and wexel's own state is what it sees: when the command
// stops (Ctrl+Z, a background read, kill -STOP, bash's suspend), wexel stops
// by the same signal, so that the shell reports the job stopped and takes
// the terminal back; when the shell continues the job (fg, bg), wexel
// continues the command if it is still stopped. wexel never stops on its
// own while the command runs: a SIGTSTP, SIGTTIN or SIGTTOU from the
// terminal reached the command too, and whether the job stops is the
// command's to decide (a command that ignores Ctrl+Z goes on in the
// foreground).
//
// A command that runs in a process group of its own (an interactive shell)
// may hold the terminal's foreground when it stops. The shell that
// continues wexel with fg gives the terminal to wexel's group; wexel hands
// it on to the command's group, as it was, so the command does not find
// itself in the background. Only then: a command in wexel's own group that
// stopped in the background (a read, or a write under stty tostop) is
// brought back by fg with the rest of the job, and the group that held the
// terminal then was the shell's, which must not get it back.
#include "child.h"
#include "system_calls.h"

#include <fcntl.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

// The default action of a stop signal stops wexel here, and it goes on
// from here once continued. The signal is raised while blocked and then
// let in: none of the other held signals can come in meanwhile.
static void StopSelf(int signalNumber) {
    struct sigaction stop, old;
    memset(&stop, 0, sizeof(stop));
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    osSigaction(signalNumber, &stop, &old);
    raise(signalNumber);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, NULL);
    sigprocmask(SIG_BLOCK, &only, NULL);
    osSigaction(signalNumber, &old, NULL);
}

// The terminal's foreground group, with the terminal open to hand it on.
static pid_t ForegroundGroup(int* terminal) {
    *terminal = osOpen("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    return *terminal >= 0 ? tcgetpgrp(*terminal) : -1;
}

void FollowChildStop(Child* child, int signalNumber) {
    child->Stopped = true;
    int terminal;
    pid_t foreground = ForegroundGroup(&terminal);
    pid_t commandsGroup = getpgid(child->Pid);
    StopSelf(signalNumber);
    // Continued in the foreground (fg), where the command's own group had it.
    pid_t ownGroup = getpgrp();
    if (terminal >= 0 && foreground > 0 && foreground == commandsGroup &&
        commandsGroup != ownGroup && tcgetpgrp(terminal) == ownGroup)
        tcsetpgrp(terminal, commandsGroup);
    if (terminal >= 0) close(terminal);
    // The SIGCONT that continued wexel is still held: taken by the wait, it
    // continues the command. A stop that the kernel did not carry out (a
    // SIGTSTP in an orphaned process group) brings none, and the command
    // stays stopped, as it would without wexel.
}

// waitid with WCONTINUED alone tells whether a SIGCONT that reached the
// whole job has continued the command already, and never reaps it; then it
// is not continued twice (a SIGCONT handler of its own would run twice).
void ContinueChildIfStopped(Child* child) {
    if (child->Ended || !child->Stopped) return;
    child->Stopped = false;
    siginfo_t continued;
    memset(&continued, 0, sizeof(continued));
    if (osWaitid(P_PID, static_cast<id_t>(child->Pid), &continued, WCONTINUED | WNOHANG) == 0 &&
        continued.si_pid == child->Pid)
        return;
    osKill(child->Pid, SIGCONT);
}
