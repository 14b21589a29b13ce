// A console interrupt reaches every process on the console. wexel must keep
// running through it, then measure and report its child, which here sends
// the event itself and ends with the Ctrl+C code once the event has come.
// wexel and its child get a console of their own, so that the event reaches
// no one else. A stand-in parent without wexel's handler, in wexel's place,
// shows that the event does reach the parent: the default handling ends it.
#include "expectations.h"
#include "wexel_launch.h"

#include <stdio.h>

static const char SharedConsole[] = "processes on the console: 2\r\n";
static const char NotDelivered[] = "no console control event arrived";
static const char ReportStart[] = "\r\nExit code: -1073741510\r\n\r\n\r\nKernel  Time";

static void AParentWithoutHandlerEnds() {
    const char* test = "parent_without_handler_ends";
    WexelRun run = RunWexel((TestProgramFolder() + L"wait_for_command.exe").c_str(),
                            L"wait_for_command.exe send_console_interrupt.exe",
                            CREATE_NEW_CONSOLE);
    ExpectTrue(test, run.Output.compare(0, sizeof(SharedConsole) - 1, SharedConsole) == 0 &&
                         run.Output.find(NotDelivered) == std::string::npos &&
                         run.Output.find("command ended") == std::string::npos,
               "the event did not end the parent: \"" + Visible(run.Output) + "\"");
}

static void WexelSurvivesAndReports(const std::wstring& wexel) {
    const char* test = "wexel_survives_and_reports";
    WexelRun run = RunWexel(wexel.c_str(), L"wexel.exe send_console_interrupt.exe",
                            CREATE_NEW_CONSOLE);
    ExpectText(test, run.Output.substr(0, sizeof(SharedConsole) - 1 + sizeof(ReportStart) - 1),
               std::string(SharedConsole) + ReportStart);
    ExpectCode(test, run.ExitCode, STATUS_CONTROL_C_EXIT);
}

// Wine before 6 (Debian 11 has 5.0) keeps no list of a console's processes
// and gives a console event to the sender alone: there is nothing to test.
static const int Skipped = 77;

static bool ConsoleIsShared() {
    WexelRun run = RunWexel((TestProgramFolder() + L"send_console_interrupt.exe").c_str(),
                            L"send_console_interrupt.exe", CREATE_NEW_CONSOLE);
    return run.Output.compare(0, 28, "processes on the console: 0\r") != 0;
}

int main(int argc, char** argv) {
    std::wstring wexel = StartTestProgram(argc, argv);
    if (wexel.empty()) return 2;
    if (!ConsoleIsShared()) {
        printf("skipped: this Windows lists no process on a new console (Wine before 6)\n");
        return Skipped;
    }
    AParentWithoutHandlerEnds();
    WexelSurvivesAndReports(wexel);
    return Finish();
}
