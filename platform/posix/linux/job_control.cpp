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
// The shell that continues the job with fg gives the terminal to wexel's
// group, the job it knows. A command in that group comes to the foreground
// with it, wherever it stopped (a background read, or a write under stty
// tostop, included). A command that runs in a process group of its own (an
// interactive shell, a program that made one for itself) would find itself
// in the background, so wexel hands the terminal on to that group, which
// is the job's own alone. After bg the shell keeps the terminal. When the
// command ends, a terminal left with the group it led (its pid names it),
// now empty, comes back to wexel's group, as alone the shell would take it
// back: the report is then written in the foreground, never stopped by a
// background write under stty tostop.
#include "child.h"
#include "system_calls.h"

#include <errno.h>
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

// Continued in the foreground (fg): the terminal is wexel's group's, and
// goes on to the command's own.
static void HandTerminalOn(pid_t commandsGroup) {
    pid_t ownGroup = getpgrp();
    if (commandsGroup <= 0 || commandsGroup == ownGroup) return;
    int terminal = osOpen("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return;
    if (tcgetpgrp(terminal) == ownGroup) tcsetpgrp(terminal, commandsGroup);
    close(terminal);
}

// Called with every signal blocked: tcsetpgrp from a background group then
// raises no SIGTTOU. kill with signal 0 finds a group that still has a
// process in it, which keeps the terminal.
void TakeTerminalBack(const Child* child) {
    int terminal = osOpen("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return;
    pid_t ownGroup = getpgrp();
    if (tcgetpgrp(terminal) == child->Pid && child->Pid != ownGroup &&
        osKill(-child->Pid, 0) != 0 && errno == ESRCH)
        tcsetpgrp(terminal, ownGroup);
    close(terminal);
}

void FollowChildStop(Child* child, int signalNumber) {
    child->Stopped = true;
    pid_t commandsGroup = getpgid(child->Pid);
    StopSelf(signalNumber);
    HandTerminalOn(commandsGroup);
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
