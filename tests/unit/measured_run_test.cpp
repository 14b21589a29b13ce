// RunMeasured on real children, with parts of the Linux layer taken away
// through its seams to reach the paths a healthy system never takes.
#include "command_line.h"
#include "measured_run.h"
#include "report.h"
#include "seams.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

const ULONGLONG Second = 10000000;
const ULONGLONG MiB = 1 << 20;

struct Outcome {
    int status;
    RunMeasurement measurement;
    std::string printed;  // by RunMeasured alone
    std::string report;
};

class MeasuredRun : public testing::Test {
protected:
    void SetUp() override { g_PosixSeams = PosixSeams(); }
    void TearDown() override { g_PosixSeams = PosixSeams(); }

    static Outcome Run(const std::string& child, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), std::string(WEXEL_CHILDREN_DIR "/") + child);
        std::vector<char*> vector;
        for (std::string& argument : arguments) vector.push_back(&argument[0]);
        LPWSTR commandLine = BuildCommandLine(static_cast<int>(vector.size()), vector.data());

        Outcome outcome;
        testing::internal::CaptureStdout();
        outcome.status = RunMeasured(commandLine, &outcome.measurement);
        fflush(stdout);
        outcome.printed = testing::internal::GetCapturedStdout();
        free(commandLine);

        testing::internal::CaptureStdout();
        PrintReport(&outcome.measurement);
        fflush(stdout);
        outcome.report = testing::internal::GetCapturedStdout();
        return outcome;
    }
};

const char* const FullReport =
    "\n"
    "\nKernel  Time = +\\d+\\.\\d{3} = +\\d+%"
    "\nUser    Time = +\\d+\\.\\d{3} = +\\d+%"
    "\nProcess Time = +\\d+\\.\\d{3} = +\\d+%    Virtual  Memory = +\\d+ MB"
    "\nGlobal  Time = +\\d+\\.\\d{3} =  100%    Physical Memory = +\\d+ MB"
    "\n";

const char* const ReportWithoutMemory =
    "\n"
    "\nKernel  Time = +\\d+\\.\\d{3} = +\\d+%"
    "\nUser    Time = +\\d+\\.\\d{3} = +\\d+%"
    "\nProcess Time = +\\d+\\.\\d{3} = +\\d+%"
    "\nGlobal  Time = +\\d+\\.\\d{3} =  100%"
    "\n";

const char* const FallbackReport = "\n\nGlobal Time  = +\\d+\\.\\d{3} = +(100|0)%\n";

bool Matches(const std::string& text, const char* pattern) {
    return std::regex_match(text, std::regex(pattern));
}

TEST_F(MeasuredRun, MemoryFromKernelQuery) {
    Outcome outcome = Run("touch_memory", {"32", "0"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    const RunMeasurement& m = outcome.measurement;
    EXPECT_TRUE(m.Started);
    EXPECT_TRUE(m.TimesValid);
    EXPECT_LE(m.CreationTime, m.ExitTime);
    EXPECT_TRUE(m.MemoryValid);
    EXPECT_GE(m.PeakWorkingSetSize, 32 * MiB);
    // Whether the virtual peak is read while the child grows depends on
    // timing (under valgrind, say); the readings are the end-to-end tests'
    // to check.
    EXPECT_GT(m.PeakPagefileUsage, 0u);
    EXPECT_TRUE(Matches(outcome.report, FullReport)) << outcome.report;
}

TEST_F(MeasuredRun, MemoryFromPsapiWhenKernelLacksQuery) {
    g_PosixSeams.HideKernelMemoryQuery = true;
    Outcome outcome = Run("touch_memory", {"32", "0"});
    EXPECT_TRUE(outcome.measurement.MemoryValid);
    EXPECT_GE(outcome.measurement.PeakWorkingSetSize, 32 * MiB);
    EXPECT_TRUE(Matches(outcome.report, FullReport)) << outcome.report;
}

TEST_F(MeasuredRun, NoMemoryFiguresWithoutEitherQuery) {
    g_PosixSeams.HideKernelMemoryQuery = true;
    g_PosixSeams.HidePsapi = true;
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_FALSE(outcome.measurement.MemoryValid);
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_TRUE(Matches(outcome.report, ReportWithoutMemory)) << outcome.report;
}

TEST_F(MeasuredRun, FailedMemoryQueryLeavesFiguresOut) {
    g_PosixSeams.FailMemoryQuery = true;
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_FALSE(outcome.measurement.MemoryValid);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_TRUE(Matches(outcome.report, ReportWithoutMemory)) << outcome.report;
}

TEST_F(MeasuredRun, FailedProcessTimesGiveFallbackForm) {
    g_PosixSeams.FailProcessTimes = true;
    Outcome outcome = Run("sleep_ms", {"100"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.measurement.TimesValid);
    EXPECT_GE(outcome.measurement.ElapsedTicks, 100u);
    EXPECT_TRUE(outcome.measurement.MemoryValid);
    EXPECT_TRUE(Matches(outcome.report, FallbackReport)) << outcome.report;
}

TEST_F(MeasuredRun, ExitBeforeCreationGivesFallbackForm) {
    // Wall-clock moments after the clock was set back by a minute mid-run.
    g_PosixSeams.OverrideMoments = true;
    g_PosixSeams.CreationTime = 133000000000000000ull;
    g_PosixSeams.ExitTime = g_PosixSeams.CreationTime - 60 * Second;
    Outcome outcome = Run("sleep_ms", {"50"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.measurement.TimesValid);
    EXPECT_GE(outcome.measurement.ElapsedTicks, 50u);
    EXPECT_TRUE(Matches(outcome.report, FallbackReport)) << outcome.report;
}

TEST_F(MeasuredRun, GlobalTimeIsExitMinusCreation) {
    g_PosixSeams.OverrideMoments = true;
    g_PosixSeams.CreationTime = 133000000000000000ull;
    g_PosixSeams.ExitTime = g_PosixSeams.CreationTime + 15 * Second / 10;
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_NE(outcome.report.find("\nGlobal  Time =     1.500 =  100%"), std::string::npos)
        << outcome.report;
}

TEST_F(MeasuredRun, UnreadableExitCodeIsReportedAndRunGoesOn) {
    g_PosixSeams.FailExitCode = true;
    Outcome outcome = Run("exit_with", {"3"});
    EXPECT_EQ(outcome.status, FailureStatus);
    EXPECT_EQ(outcome.printed, "\nGetExitCodeProcess error\n");
    EXPECT_TRUE(outcome.measurement.Started);
    EXPECT_TRUE(Matches(outcome.report, FullReport)) << outcome.report;
}

}  // namespace
