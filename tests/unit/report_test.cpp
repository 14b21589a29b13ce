// The report's text, byte for byte.
#include "report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const ULONGLONG Second = 10000000;
const ULONGLONG Millisecond = 10000;
const ULONGLONG MiB = 1 << 20;

std::string TimeLine(const char* label, ULONGLONG value, ULONGLONG total) {
    testing::internal::CaptureStdout();
    PrintTimeLine(label, value, total);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::string Report(const RunMeasurement& measurement) {
    testing::internal::CaptureStdout();
    PrintReport(&measurement);
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

RunMeasurement Measured(ULONGLONG kernel, ULONGLONG user, ULONGLONG global) {
    RunMeasurement measurement = {};
    measurement.Started = true;
    measurement.TimesValid = true;
    measurement.CreationTime = 123456789;
    measurement.ExitTime = measurement.CreationTime + global;
    measurement.KernelTime = kernel;
    measurement.UserTime = user;
    return measurement;
}

RunMeasurement WithMemory(RunMeasurement measurement, ULONGLONG pagefile, ULONGLONG workingSet) {
    measurement.MemoryValid = true;
    measurement.PeakPagefileUsage = pagefile;
    measurement.PeakWorkingSetSize = workingSet;
    return measurement;
}

TEST(Report, FourLinesWithMemoryFigures) {
    RunMeasurement measurement = WithMemory(
        Measured(156250, 1093750, 12345678), 9 * MiB / 4, 4 * MiB);
    EXPECT_EQ(Report(measurement),
              "\n"
              "\nKernel  Time =     0.015 =    1%"
              "\nUser    Time =     0.109 =    8%"
              "\nProcess Time =     0.125 =   10%    Virtual  Memory =      3 MB"
              "\nGlobal  Time =     1.234 =  100%    Physical Memory =      4 MB"
              "\n");
}

TEST(Report, NoMemoryTextWithoutMemoryFigures) {
    EXPECT_EQ(Report(Measured(0, 2 * Second, 4 * Second)),
              "\n"
              "\nKernel  Time =     0.000 =    0%"
              "\nUser    Time =     2.000 =   50%"
              "\nProcess Time =     2.000 =   50%"
              "\nGlobal  Time =     4.000 =  100%"
              "\n");
}

TEST(Report, ZeroGlobalTimePrintsZeroPercent) {
    EXPECT_EQ(Report(Measured(0, 0, 0)),
              "\n"
              "\nKernel  Time =     0.000 =    0%"
              "\nUser    Time =     0.000 =    0%"
              "\nProcess Time =     0.000 =    0%"
              "\nGlobal  Time =     0.000 =    0%"
              "\n");
}

TEST(Report, ProcessTimeAboveGlobalTime) {
    std::string report = Report(Measured(Second, 3 * Second, Second));
    EXPECT_NE(report.find("\nProcess Time =     4.000 =  400%"), std::string::npos) << report;
}

TEST(Report, MegabytesRoundUp) {
    struct {
        ULONGLONG bytes;
        const char* shown;
    } cases[] = {
        {0, "      0 MB"},       {1, "      1 MB"},
        {MiB, "      1 MB"},     {MiB + 1, "      2 MB"},
        {MiB << 20, "1048576 MB"}, {MiB << 30, "1073741824 MB"},
    };
    for (const auto& c : cases) {
        std::string report = Report(WithMemory(Measured(0, 0, Second), c.bytes, c.bytes));
        EXPECT_NE(report.find(std::string("Virtual  Memory =") + c.shown), std::string::npos)
            << c.bytes << report;
        EXPECT_NE(report.find(std::string("Physical Memory =") + c.shown + "\n"),
                  std::string::npos)
            << c.bytes << report;
    }
}

TEST(Report, FallbackFormFromTickCount) {
    RunMeasurement measurement = {};
    measurement.Started = true;
    measurement.ElapsedTicks = 1500;
    EXPECT_EQ(Report(measurement), "\n\nGlobal Time  =     1.500 =  100%\n");
    measurement.ElapsedTicks = 0;
    EXPECT_EQ(Report(measurement), "\n\nGlobal Time  =     0.000 =    0%\n");
}

TEST(Report, FallbackFormLeavesMemoryOutEvenWhenKnown) {
    RunMeasurement measurement = WithMemory(RunMeasurement{}, 5 * MiB, 3 * MiB);
    measurement.Started = true;
    measurement.ElapsedTicks = 250;
    EXPECT_EQ(Report(measurement), "\n\nGlobal Time  =     0.250 =  100%\n");
}

TEST(Report, FallbackTicksMultiplyIn64Bits) {
    RunMeasurement measurement = {};
    measurement.Started = true;
    measurement.ElapsedTicks = 0xFFFFFFFFu;
    EXPECT_EQ(Report(measurement), "\n\nGlobal Time  =4294967.295 =  100%\n");
}

TEST(TimeLine, MillisecondsAreTruncated) {
    EXPECT_EQ(TimeLine("Label", 9999, Second), "\nLabel =     0.000 =    0%");
    EXPECT_EQ(TimeLine("Label", Millisecond, Millisecond), "\nLabel =     0.001 =  100%");
    EXPECT_EQ(TimeLine("Label", 2 * Second - 1, 4 * Second), "\nLabel =     1.999 =   49%");
}

TEST(TimeLine, WideSecondsAreNotCut) {
    EXPECT_EQ(TimeLine("L", 999999 * Second, 999999 * Second), "\nL =999999.000 =  100%");
    EXPECT_EQ(TimeLine("L", 1234567 * Second + 89 * Millisecond, 1234567 * Second),
              "\nL =1234567.089 =  100%");
}

TEST(TimeLine, ValueOfExactlyTwoTo56IsNotScaled) {
    // Scaled, the total would halve to exactly the value and show 100%.
    ULONGLONG value = 1ull << 56;
    EXPECT_EQ(TimeLine("L", value, value + 1), "\nL =7205759403.792 =   99%");
}

TEST(TimeLine, ValueAboveTwoTo56IsScaledWithTotal) {
    // One shift: 2^55 * 100 / 1. Unscaled it would read 2401919801264264533.
    ULONGLONG value = (1ull << 56) + 1;
    EXPECT_EQ(TimeLine("L", value, 3), "\nL =7205759403.792 =3602879701896396800%");
}

TEST(TimeLine, TwoTo60OverItselfIsHundredPercent) {
    ULONGLONG value = 1ull << 60;
    EXPECT_EQ(TimeLine("L", value, value), "\nL =115292150460.684 =  100%");
    EXPECT_EQ(TimeLine("L", ~0ull, ~0ull), "\nL =1844674407370.955 =  100%");
}

TEST(TimeLine, TotalScaledDownToZeroGivesZeroPercent) {
    EXPECT_EQ(TimeLine("L", 1ull << 60, 15), "\nL =115292150460.684 =    0%");
}

}  // namespace
