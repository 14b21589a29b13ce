// RunMeasured on real children, with calls of the Linux layer replaced
// through its call tables to reach the paths a healthy system never takes.
#include "command_buffer.h"
#include "measured_run.h"
#include "report.h"
#include "swapped_calls.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>

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
    void SetUp() override { RestoreCalls(); }
    void TearDown() override { RestoreCalls(); }

    static Outcome Run(const std::string& child, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), std::string(WEXEL_CHILDREN_DIR "/") + child);
        LPWSTR commandLine = CommandBufferFor(arguments);

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

BOOL WINAPI FailingMemoryQuery(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD) {
    return FALSE;
}

HMODULE WINAPI UnloadableModule(LPCWSTR) {
    return nullptr;
}

BOOL WINAPI FailingProcessTimes(HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME) {
    return FALSE;
}

BOOL WINAPI FailingExitCode(HANDLE, DWORD*) {
    return FALSE;
}

// The child's true times, with wall-clock moments of a test's choosing in
// place of its creation and exit, as Windows reports them.
ULONGLONG g_creationMoment, g_exitMoment;

void SetFileTime(LPFILETIME time, ULONGLONG value) {
    time->dwLowDateTime = static_cast<DWORD>(value);
    time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

BOOL WINAPI TimesAtChosenMoments(HANDLE process, LPFILETIME creation, LPFILETIME exit,
                                 LPFILETIME kernel, LPFILETIME user) {
    auto real = DefaultCall<decltype(&TimesAtChosenMoments)>("GetProcessTimes");
    if (!real(process, creation, exit, kernel, user)) return FALSE;
    SetFileTime(creation, g_creationMoment);
    SetFileTime(exit, g_exitMoment);
    return TRUE;
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
    SwapCall("K32GetProcessMemoryInfo", SystemCallPointer());
    Outcome outcome = Run("touch_memory", {"32", "0"});
    EXPECT_TRUE(outcome.measurement.MemoryValid);
    EXPECT_GE(outcome.measurement.PeakWorkingSetSize, 32 * MiB);
    EXPECT_TRUE(Matches(outcome.report, FullReport)) << outcome.report;
}

TEST_F(MeasuredRun, NoMemoryFiguresWithoutEitherQuery) {
    SwapCall("K32GetProcessMemoryInfo", SystemCallPointer());
    SwapCall("LoadLibraryW", UnloadableModule);
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_FALSE(outcome.measurement.MemoryValid);
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_TRUE(Matches(outcome.report, ReportWithoutMemory)) << outcome.report;
}

TEST_F(MeasuredRun, FailedMemoryQueryLeavesFiguresOut) {
    SwapCall("K32GetProcessMemoryInfo", FailingMemoryQuery);
    SwapCall("GetProcessMemoryInfo", FailingMemoryQuery);
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_FALSE(outcome.measurement.MemoryValid);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_TRUE(Matches(outcome.report, ReportWithoutMemory)) << outcome.report;
}

TEST_F(MeasuredRun, FailedProcessTimesGiveFallbackForm) {
    SwapCall("GetProcessTimes", FailingProcessTimes);
    Outcome outcome = Run("sleep_ms", {"100"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.measurement.TimesValid);
    EXPECT_GE(outcome.measurement.ElapsedTicks, 100u);
    EXPECT_TRUE(outcome.measurement.MemoryValid);
    EXPECT_TRUE(Matches(outcome.report, FallbackReport)) << outcome.report;
}

TEST_F(MeasuredRun, ExitBeforeCreationGivesFallbackForm) {
    // Wall-clock moments after the clock was set back by a minute mid-run.
    SwapCall("GetProcessTimes", TimesAtChosenMoments);
    g_creationMoment = 133000000000000000ull;
    g_exitMoment = g_creationMoment - 60 * Second;
    Outcome outcome = Run("sleep_ms", {"50"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.measurement.TimesValid);
    EXPECT_GE(outcome.measurement.ElapsedTicks, 50u);
    EXPECT_TRUE(Matches(outcome.report, FallbackReport)) << outcome.report;
}

TEST_F(MeasuredRun, GlobalTimeIsExitMinusCreation) {
    SwapCall("GetProcessTimes", TimesAtChosenMoments);
    g_creationMoment = 133000000000000000ull;
    g_exitMoment = g_creationMoment + 15 * Second / 10;
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_NE(outcome.report.find("\nGlobal  Time =     1.500 =  100%"), std::string::npos)
        << outcome.report;
}

TEST_F(MeasuredRun, UnreadableExitCodeIsReportedAndRunGoesOn) {
    SwapCall("GetExitCodeProcess", FailingExitCode);
    Outcome outcome = Run("exit_with", {"3"});
    EXPECT_EQ(outcome.status, FailureStatus);
    EXPECT_EQ(outcome.printed, "\nGetExitCodeProcess error\n");
    EXPECT_TRUE(outcome.measurement.Started);
    EXPECT_TRUE(Matches(outcome.report, FullReport)) << outcome.report;
}

void* FailingCalloc(size_t, size_t) {
    errno = ENOMEM;
    return nullptr;
}

int g_starts;

int CountedClone(int (*function)(void*), void* stack, int flags, void* argument, ...) {
    ++g_starts;
    return clone(function, stack, flags, argument);
}

int CloneWithoutProcesses(int (*)(void*), void*, int, void*, ...) {
    errno = EAGAIN;
    return -1;
}

// wait4 interrupted by a signal this many times before each answer.
int g_interruptionsLeft;

pid_t InterruptedWait4(pid_t pid, int* status, int options, struct rusage* usage) {
    if (g_interruptionsLeft > 0) {
        --g_interruptionsLeft;
        errno = EINTR;
        return -1;
    }
    return wait4(pid, status, options, usage);
}

int SigtimedwaitRefused(const sigset_t*, siginfo_t*, const struct timespec*) {
    errno = ENOSYS;
    return -1;
}

double OwnCpuSeconds() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int WithoutBootClock(clockid_t clock, struct timespec* now) {
    if (clock == CLOCK_BOOTTIME) {
        errno = EINVAL;
        return -1;
    }
    return clock_gettime(clock, now);
}

TEST_F(MeasuredRun, NoRecordForTheHandlesStartsNothing) {
    // The handles' record comes before the start: a failed allocation
    // cannot leave a command running unwatched.
    g_starts = 0;
    SwapCall("clone", CountedClone);
    SwapCall("calloc", FailingCalloc);
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_EQ(outcome.status, FailureStatus);
    EXPECT_EQ(outcome.printed, "\nCan't find program. Error code = 12\n");
    EXPECT_FALSE(outcome.measurement.Started);
    EXPECT_EQ(g_starts, 0);
}

TEST_F(MeasuredRun, StartRefusedForWantOfProcessesGivesItsCodeAndSignalsBack) {
    SwapCall("clone", CloneWithoutProcesses);
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_EQ(outcome.status, FailureStatus);
    EXPECT_EQ(outcome.printed, "\nCan't find program. Error code = 11\n");
    // The signals held for a command that never came are wexel's again.
    sigset_t blocked;
    ASSERT_EQ(sigprocmask(SIG_BLOCK, nullptr, &blocked), 0);
    EXPECT_FALSE(sigismember(&blocked, SIGTERM));
}

TEST_F(MeasuredRun, WaitInterruptedAgainAndAgainStillGetsTheEnd) {
    g_interruptionsLeft = 100000;
    SwapCall("wait4", InterruptedWait4);
    Outcome outcome = Run("exit_with", {"7"});
    EXPECT_EQ(g_interruptionsLeft, 0);
    EXPECT_EQ(outcome.status, 7);
    EXPECT_EQ(outcome.printed, "\nExit code: 7\n");
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_TRUE(outcome.measurement.MemoryValid);
}

TEST_F(MeasuredRun, WaitSleepsWhereSignalsCannotBeTaken) {
    // A seccomp filter may refuse the call the wait sleeps in: it must
    // sleep some other way, not spin through the command's run.
    SwapCall("sigtimedwait", SigtimedwaitRefused);
    double before = OwnCpuSeconds();
    Outcome outcome = Run("sleep_ms", {"600"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_GE(outcome.measurement.ElapsedTicks, 600u);
    // A spinning wait burns about 0.6 s; a sleeping one a few milliseconds.
    EXPECT_LT(OwnCpuSeconds() - before, 0.3);
}

TEST_F(MeasuredRun, MonotonicClockStandsInWhereBootClockIsRefused) {
    SwapCall("clock_gettime", WithoutBootClock);
    Outcome outcome = Run("sleep_ms", {"100"});
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_GE(outcome.measurement.ExitTime - outcome.measurement.CreationTime, Second / 10);
    EXPECT_GE(outcome.measurement.ElapsedTicks, 100u);
    EXPECT_TRUE(Matches(outcome.report, FullReport)) << outcome.report;
}

}  // namespace
