// wexel ends with its child's full 32-bit exit code and says so when it is
// not 0; a child that cannot be started gives the launch-failure message and
// 999. A Linux shell sees only the low 8 bits of a Windows exit code, so the
// codes are read here with GetExitCodeProcess.
#include "expectations.h"
#include "wexel_launch.h"

#include <stdio.h>

static std::wstring g_wexel;

static const char ReportStart[] = "\r\n\r\nKernel  Time";

static void ExpectExitCodePassedOn(const char* test, DWORD code, const char* printed) {
    wchar_t line[64];
    swprintf(line, 64, L"wexel.exe exit_with.exe 0x%08lx", static_cast<unsigned long>(code));
    WexelRun run = RunWexel(g_wexel.c_str(), line);
    std::string message = printed ? std::string("\r\nExit code: ") + printed + "\r\n" : "";
    ExpectText(test, run.Output.substr(0, message.size() + sizeof(ReportStart) - 1),
               message + ReportStart);
    ExpectCode(test, run.ExitCode, code);
}

int main(int argc, char** argv) {
    g_wexel = StartTestProgram(argc, argv);
    if (g_wexel.empty()) return 2;

    ExpectExitCodePassedOn("code_0_prints_no_message", 0, NULL);
    ExpectExitCodePassedOn("small_code", 3, "3");
    ExpectExitCodePassedOn("code_that_means_still_active", 259, "259");
    ExpectExitCodePassedOn("largest_positive_code", 0x7fffffff, "2147483647");
    ExpectExitCodePassedOn("code_2_to_the_31_prints_negative", 0x80000000, "-2147483648");
    ExpectExitCodePassedOn("control_c_exit_prints_negative", 0xC000013A, "-1073741510");
    ExpectExitCodePassedOn("all_bits_set_prints_minus_1", 0xFFFFFFFF, "-1");

    WexelRun run = RunWexel(g_wexel.c_str(), L"wexel.exe no_such_program_here.exe a b");
    ExpectText("missing_program", run.Output, "\r\nCan't find program. Error code = 2\r\n");
    ExpectCode("missing_program", run.ExitCode, 999);
    return Finish();
}
