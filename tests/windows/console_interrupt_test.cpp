// A console interrupt reaches every process on the console. wexel's child
// ends on it; wexel itself must keep running, measure the child and report.
// wexel and its child get a console of their own, so that the event reaches
// no one else. A stand-in parent without wexel's handler, in the same
// place, shows that the event does reach the parent: it ends there.
#include "expectations.h"
#include "wexel_launch.h"

#include <stdio.h>

static const char SharedConsole[] = "processes on the console: 2\r\n";
static const char NotDelivered[] = "no console control event arrived";

static void AParentWithoutHandlerEnds() {
    const char* test = "parent_without_handler_ends";
    WexelRun run = RunWexel((TestProgramFolder() + L"wait_for_command.exe").c_str(),
                            L"wait_for_command.exe send_console_interrupt.exe",
                            CREATE_NEW_CONSOLE);
    ExpectTrue(test, run.Output.find(NotDelivered) == std::string::npos &&
                         run.Output.find("command ended") == std::string::npos,
               "the event did not end the parent: \"" + Visible(run.Output) + "\"");
}

static void WexelSurvivesAndReports(const std::wstring& wexel) {
    const char* test = "wexel_survives_and_reports";
    WexelRun run = RunWexel(wexel.c_str(), L"wexel.exe send_console_interrupt.exe",
                            CREATE_NEW_CONSOLE);
    ExpectTrue(test, run.Output.compare(0, sizeof(SharedConsole) - 1, SharedConsole) == 0,
               "the child does not share wexel's console: \"" + Visible(run.Output) + "\"");
    ExpectTrue(test, run.Output.find(NotDelivered) == std::string::npos,
               "the event did not end the child");
    // Windows ends a process on Ctrl+C with STATUS_CONTROL_C_EXIT; Wine's
    // default handler ends it with 0. Either way wexel passes the code on.
    std::string message;
    if (run.ExitCode == 0xC000013A) {
        message = "\r\nExit code: -1073741510\r\n";
    } else {
        ExpectCode(test, run.ExitCode, 0);
    }
    ExpectText(test,
               run.Output.substr(sizeof(SharedConsole) - 1, message.size() + 16),
               message + "\r\n\r\nKernel  Time");
    printf("note: the interrupted child ended with 0x%08lx\n",
           static_cast<unsigned long>(run.ExitCode));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: console_interrupt_test PATH-OF-WEXEL.EXE\n");
        return 2;
    }
    SetCurrentDirectoryW(TestProgramFolder().c_str());
    AParentWithoutHandlerEnds();
    WexelSurvivesAndReports(WindowsPath(argv[1]));
    return Finish();
}
