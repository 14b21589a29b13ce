// The Linux start-up: what the Windows run-time does before and after
// wexel's main, and what Windows does for a process that Linux leaves to
// the process itself. wexel's own main (run/main.cpp) is built here under
// the name WexelMain; this is the program's real entry point, and the whole
// of its life on Linux:
//  1. keep the arguments, from which GetCommandLineW builds the raw command
//     line that Windows would hand over;
//  2. set wexel's own signals as the run needs them (linux/own_signals.cpp);
//  3. run wexel: the command is started, waited for and reported;
//  4. end as the command ended: the report out, standard output's flags as
//     the command left them, and, when the command was killed by a signal,
//     wexel killed by the same signal, so that its caller sees what it
//     would have seen without wexel (a shell stops its loop after Ctrl+C).
#include "command_line.h"
#include "linux/child.h"

int WexelMain(int argumentCount, char** arguments, char** environment);

int main(int argumentCount, char** arguments, char** environment) {
    KeepArguments(argumentCount, arguments);
    PrepareOwnSignals();

    int status = WexelMain(argumentCount, arguments, environment);

    fflush(stdout);
    GiveOutputFlagsBack();
    // 128 + N is the status only when the exit code was read: a failure of
    // wexel's own (999) is not the command's signal.
    int signalNumber = SignalThatEndedChild();
    if (signalNumber != 0 && status == 128 + signalNumber) EndBySignal(signalNumber);
    return status;
}
