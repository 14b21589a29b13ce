// The usage text and the report's layout on Windows, line by line, in the
// same formats as everywhere. Wine's figures for an ended process are not
// accurate (its memory counters often read zero), so the figures are held
// only to what must be true of any run: widths, sums and the wall clock.
#include "expectations.h"
#include "wexel_launch.h"

#include <stdio.h>

#include <regex>
#include <string>
#include <vector>

static std::wstring g_wexel;

static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// A right-aligned number at least `width` wide: blanks, then digits.
static std::string Field(int width) {
    std::string pattern = "(";
    for (int digits = 1; digits < width; ++digits)
        pattern += std::string(width - digits, ' ') + "\\d{" + std::to_string(digits) + "}|";
    return pattern + "\\d{" + std::to_string(width) + ",})";
}

struct TimeLine {
    unsigned long long Milliseconds;
    unsigned long long Percent;
};

// "<label> =<%6u>.<%03u> =<%5u>%" and, when memoryLabel is given,
// "    <memoryLabel> =<%7u> MB" behind it.
static bool ParseTimeLine(const std::string& line, const char* label, const char* memoryLabel,
                          TimeLine* parsed) {
    std::string memory = memoryLabel ? std::string("    ") + memoryLabel + " =" + Field(7) + " MB"
                                     : "";
    std::smatch fields;
    if (!std::regex_match(line, fields, std::regex(std::string(label) + " =" + Field(6) +
                                                   "\\.(\\d{3}) =" + Field(5) + "%" + memory)))
        return false;
    parsed->Milliseconds = std::stoull(fields[1]) * 1000 + std::stoull(fields[2]);
    parsed->Percent = std::stoull(fields[3]);
    return true;
}

static void UsageText() {
    WexelRun run = RunWexel(g_wexel.c_str(), L"wexel.exe");
    ExpectText("banner_and_usage", run.Output,
               "Wexel : " WEXEL_VERSION " : " WEXEL_RELEASE_DATE "\r\n"
               "Usage: wexel program [parameter1] [parameter2] ...\r\n");
    ExpectCode("banner_and_usage", run.ExitCode, 0);
}

// A child that prints nothing and burns 300 ms of processor time.
static void ReportLayout() {
    const char* test = "report_layout";
    WexelRun run = RunWexel(g_wexel.c_str(), L"wexel.exe burn_time.exe 300");
    ExpectCode(test, run.ExitCode, 0);
    std::vector<std::string> lines = SplitLines(run.Output);
    // The report opens with an empty line, every line starts with its own
    // newline, and one newline ends the last.
    if (lines.size() != 7 || !lines[0].empty() || !lines[1].empty() || !lines[6].empty()) {
        ExpectTrue(test, false, "not two empty lines, four lines and an end: \"" +
                                    Visible(run.Output) + "\"");
        return;
    }
    TimeLine kernel, user, process, global;
    ExpectTrue(test, ParseTimeLine(lines[2], "Kernel  Time", NULL, &kernel),
               "kernel line \"" + lines[2] + "\"");
    ExpectTrue(test, ParseTimeLine(lines[3], "User    Time", NULL, &user),
               "user line \"" + lines[3] + "\"");
    ExpectTrue(test, ParseTimeLine(lines[4], "Process Time", "Virtual  Memory", &process),
               "process line \"" + lines[4] + "\"");
    ExpectTrue(test, ParseTimeLine(lines[5], "Global  Time", "Physical Memory", &global),
               "global line \"" + lines[5] + "\"");
    printf("note: report as Wine gives it:\n%s\n%s\n%s\n%s\n", lines[2].c_str(), lines[3].c_str(),
           lines[4].c_str(), lines[5].c_str());

    // Each time is truncated to the millisecond on its own, so the sum can
    // gain one millisecond over its parts.
    unsigned long long parts = kernel.Milliseconds + user.Milliseconds;
    ExpectTrue(test, process.Milliseconds == parts || process.Milliseconds == parts + 1,
               "process time is not kernel plus user time");
    // A single-threaded child that used 300 ms of processor time lived at
    // least that long.
    ExpectTrue(test, global.Milliseconds >= 300, "global time below the child's processor time");
    ExpectTrue(test, global.Percent == 100, "global time is not 100% of itself");
}

int main(int argc, char** argv) {
    g_wexel = StartTestProgram(argc, argv);
    if (g_wexel.empty()) return 2;

    UsageText();
    ReportLayout();
    return Finish();
}
