// wexel cuts the child's command line out of its own raw command line and
// passes it on unit for unit. These cases go through the real Windows path:
// CreateProcessW builds wexel's command line, msvcrt's start-up counts the
// arguments, and the child reports the raw command line it received.
#include "expectations.h"
#include "wexel_launch.h"

#include <stdio.h>
#include <stdlib.h>

static std::wstring g_wexel;

// Non-ASCII units as \uXXXX so that a failure shows exactly which unit moved.
static std::string VisibleUnits(const std::wstring& units) {
    std::string shown;
    for (wchar_t unit : units) {
        if (unit >= 0x20 && unit < 0x7f) {
            shown += static_cast<char>(unit);
        } else {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(unit));
            shown += escape;
        }
    }
    return shown;
}

// The child prints its command line as four hex digits a unit, then "\n",
// which msvcrt writes as "\r\n".
static bool DecodeChildLine(const std::string& output, std::wstring* line, std::string* rest) {
    size_t end = output.find("\r\n");
    if (end == std::string::npos || end % 4 != 0) return false;
    line->clear();
    for (size_t at = 0; at < end; at += 4) {
        char* stop;
        std::string digits = output.substr(at, 4);
        unsigned long unit = strtoul(digits.c_str(), &stop, 16);
        if (*stop != 0) return false;
        *line += static_cast<wchar_t>(unit);
    }
    *rest = output.substr(end + 2);
    return true;
}

// The child must have received exactly expectedTail, and wexel's report must
// follow the child's output.
static void ExpectChildCommandLine(const char* test, const WexelRun& run,
                                   const std::wstring& expectedTail) {
    ExpectTrue(test, run.Launched, "wexel did not start");
    std::wstring received;
    std::string rest;
    if (!DecodeChildLine(run.Output, &received, &rest)) {
        ExpectTrue(test, false, "no command line from the child in \"" + Visible(run.Output) + "\"");
        return;
    }
    ExpectTrue(test, received == expectedTail,
               "child got \"" + VisibleUnits(received) + "\"\n     expected \"" +
                   VisibleUnits(expectedTail) + "\"");
    ExpectTrue(test, rest.compare(0, 16, "\r\n\r\nKernel  Time") == 0,
               "no report after the child's output: \"" + Visible(rest) + "\"");
    ExpectCode(test, run.ExitCode, 0);
}

static std::string BannerAndUsage() {
    return "Wexel : " WEXEL_VERSION " : " WEXEL_RELEASE_DATE "\r\n"
           "Usage: wexel program [parameter1] [parameter2] ...\r\n";
}

// "\r\nCan't find program. Error code = N\r\n" and nothing else.
static void ExpectLaunchFailure(const char* test, const WexelRun& run) {
    const std::string prefix = "\r\nCan't find program. Error code = ";
    bool shaped = run.Output.compare(0, prefix.size(), prefix) == 0 &&
                  run.Output.size() > prefix.size() + 2 &&
                  run.Output.compare(run.Output.size() - 2, 2, "\r\n") == 0;
    std::string code = shaped ? run.Output.substr(prefix.size(),
                                                  run.Output.size() - prefix.size() - 2)
                              : std::string();
    bool numeric = !code.empty() && code.find_first_not_of("0123456789") == std::string::npos &&
                   code != "0";
    ExpectTrue(test, shaped && numeric,
               "expected the launch-failure message alone, got \"" + Visible(run.Output) + "\"");
    ExpectCode(test, run.ExitCode, 999);
    if (numeric) printf("note %s: error code %s\n", test, code.c_str());
}

static void SeparatorsBeforeTheTail() {
    ExpectChildCommandLine("plain", RunWexel(g_wexel.c_str(), L"wexel.exe print_command_line.exe a b"),
                           L"print_command_line.exe a b");
    ExpectChildCommandLine(
        "blanks_before_the_name",
        RunWexel(g_wexel.c_str(), L"  \t  wexel.exe print_command_line.exe a"),
        L"print_command_line.exe a");
    ExpectChildCommandLine(
        "tab_between_name_and_command",
        RunWexel(g_wexel.c_str(), L"wexel.exe\tprint_command_line.exe\ta \t"),
        L"print_command_line.exe\ta \t");
    ExpectChildCommandLine(
        "blanks_and_tabs_after_the_name",
        RunWexel(g_wexel.c_str(), L"wexel.exe \t \t print_command_line.exe a"),
        L"print_command_line.exe a");
}

// wexel copied into a folder whose name has spaces, started once by the
// platform's own search on a quoted name and once with a quote in the middle
// of the path (which only an explicit application name can start).
static void NamesWithSpacesAndQuotes() {
    std::wstring folder = TestProgramFolder() + L"wexel copy with spaces";
    if (!CreateDirectoryW(folder.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
        ExpectTrue("quoted_name_with_spaces", false, "cannot create the folder");
        return;
    }
    std::wstring copy = folder + L"\\wexel.exe";
    if (!CopyFileW(g_wexel.c_str(), copy.c_str(), FALSE)) {
        ExpectTrue("quoted_name_with_spaces", false, "cannot copy wexel.exe");
        return;
    }
    ExpectChildCommandLine("quoted_name_with_spaces",
                           RunWexel(NULL, L"\"" + copy + L"\"   print_command_line.exe \"x y\""),
                           L"print_command_line.exe \"x y\"");
    ExpectChildCommandLine(
        "quote_in_the_middle_of_the_path",
        RunWexel(copy.c_str(),
                 TestProgramFolder() + L"\"wexel copy with spaces\"\\wexel.exe print_command_line.exe z"),
        L"print_command_line.exe z");
    ExpectChildCommandLine(
        "name_quoted_in_two_stretches",
        RunWexel(copy.c_str(), L"\"" + TestProgramFolder() +
                                   L"wexel copy \"with\" spaces\\wexel.exe\" print_command_line.exe"),
        L"print_command_line.exe");
}

static void TailKeptUnitForUnit() {
    const std::wstring tail =
        L"print_command_line.exe   a  \"b  c\"  \\\\\"d\\\\\" \"\" e\\ f\\\\ \"g   ";
    ExpectChildCommandLine("blanks_quotes_backslashes_and_trailing_blanks",
                           RunWexel(g_wexel.c_str(), L"wexel.exe  " + tail), tail);
    const std::wstring unicode = L"print_command_line.exe \u00e9t\u00e9 \u4e2d\u6587 \xd83d\xde00 \u00a0x";
    ExpectChildCommandLine("units_beyond_ascii", RunWexel(g_wexel.c_str(), L"wexel.exe " + unicode),
                           unicode);
    // U+00A0 and other white space do not separate; only space and tab do.
    ExpectChildCommandLine("only_space_and_tab_separate",
                           RunWexel(g_wexel.c_str(), L"wexel.exe\u00a0x print_command_line.exe"),
                           L"print_command_line.exe");
}

// The run-time start-up decides between usage and a run; the tail decides
// what is launched. An unclosed quote makes the rest of the line the name:
// msvcrt then counts the name alone (usage), unless a blank before the name
// made it count an empty name first, and then the empty tail goes to the
// launch and fails.
static void UnclosedQuotesAndEmptyTails() {
    WexelRun run = RunWexel(g_wexel.c_str(), L"\"wexel.exe print_command_line.exe a");
    ExpectText("unclosed_quote_counts_as_the_name_alone", run.Output, BannerAndUsage());
    ExpectCode("unclosed_quote_counts_as_the_name_alone", run.ExitCode, 0);

    ExpectLaunchFailure("unclosed_quote_after_a_blank_leaves_an_empty_tail",
                        RunWexel(g_wexel.c_str(), L" \"wexel.exe print_command_line.exe a"));
    ExpectLaunchFailure("name_alone_after_a_blank_leaves_an_empty_tail",
                        RunWexel(g_wexel.c_str(), L" wexel.exe"));
    ExpectLaunchFailure("name_and_blanks_after_a_blank_leave_an_empty_tail",
                        RunWexel(g_wexel.c_str(), L"\twexel.exe \t "));

    run = RunWexel(g_wexel.c_str(), L"wexel.exe \t ");
    ExpectText("trailing_blanks_alone_are_no_command", run.Output, BannerAndUsage());
    ExpectCode("trailing_blanks_alone_are_no_command", run.ExitCode, 0);
}

// A command line holds at most 32,767 units with its terminating NUL. The
// longest wexel can be given must reach the child whole. A tail of 32,767
// units cannot fit behind wexel's name at all: the platform either refuses
// to start wexel (Windows) or cuts wexel's own command line before wexel
// sees it (Wine does, silently); wexel must then pass on exactly what it
// got, as the same cut shows on a child started directly.
static std::wstring Padding(size_t units) {
    // Blanks sparse: a launch that fails searches the platform's path once
    // for every blank-separated prefix of the line.
    std::wstring pattern = L"\"a\\\"b\\\\\"";
    pattern.append(56, L'c');
    pattern += L"  ";
    std::wstring padding;
    while (padding.size() < units) padding += pattern;
    padding.resize(units);
    return padding;
}

static void TailsAtTheCommandLineLimit() {
    const size_t limit = 32767;  // units, NUL included
    const std::wstring name = L"wexel.exe ";
    std::wstring tail = L"print_command_line.exe ";
    tail += Padding(limit - 1 - name.size() - tail.size());
    ExpectChildCommandLine("longest_command_line_reaches_the_child_whole",
                           RunWexel(g_wexel.c_str(), name + tail), tail);

    std::wstring oversized = L"print_command_line.exe ";
    oversized += Padding(limit - oversized.size());
    const std::wstring line = name + oversized;
    WexelRun run = RunWexel(g_wexel.c_str(), line);
    if (!run.Launched) {
        printf("note: the platform refused a %zu-unit command line, error %lu\n", line.size(),
               static_cast<unsigned long>(run.LaunchError));
        return;
    }
    // What any program is given for this line: started directly, the
    // child reports it.
    std::wstring direct, rest;
    std::string ignored;
    WexelRun probe =
        RunWexel((TestProgramFolder() + L"print_command_line.exe").c_str(), line);
    if (!DecodeChildLine(probe.Output, &direct, &ignored)) {
        ExpectTrue("tail_of_32767_units", false, "the direct probe printed nothing");
        return;
    }
    printf("note: a %zu-unit command line reaches a program as %zu units\n", line.size(),
           direct.size());
    const std::wstring wexelGot = direct;
    ExpectTrue("tail_of_32767_units", wexelGot.compare(0, name.size(), name) == 0,
               "the probe did not see wexel's name");
    ExpectChildCommandLine("tail_of_32767_units_passes_on_what_wexel_got", run,
                           wexelGot.substr(name.size()));
}

int main(int argc, char** argv) {
    g_wexel = StartTestProgram(argc, argv);
    if (g_wexel.empty()) return 2;

    SeparatorsBeforeTheTail();
    NamesWithSpacesAndQuotes();
    TailKeptUnitForUnit();
    UnclosedQuotesAndEmptyTails();
    TailsAtTheCommandLineLimit();
    return Finish();
}
