// RunMeasured on real children, with calls of the Linux layer replaced
// through its call tables to reach the paths a healthy system never takes.
#include "command_buffer.h"
#include "linux/child.h"
#include "measured_run.h"
#include "report.h"
#include "swapped_calls.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <filesystem>

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
        arguments.insert(arguments.begin(),
                         child[0] == '/' ? child : std::string(WEXEL_CHILDREN_DIR "/") + child);
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

// Which of the report's three forms a run gave; their text, byte for
// byte, is report_test's to check.
enum ReportForm { Fallback, WithoutMemory, Full };

ReportForm FormOf(const std::string& report) {
    if (report.rfind("\n\nGlobal Time  =", 0) == 0) return Fallback;
    return report.find(" Memory =") == std::string::npos ? WithoutMemory : Full;
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
    sigset_t maskBefore, maskAfter;
    sigprocmask(SIG_BLOCK, nullptr, &maskBefore);
    Outcome outcome = Run("touch_memory", {"32", "0"});
    sigprocmask(SIG_BLOCK, nullptr, &maskAfter);
    // The wait blocks signals and catches SIGCHLD for itself alone.
    for (int s = 1; s < NSIG; ++s)
        EXPECT_EQ(sigismember(&maskBefore, s), sigismember(&maskAfter, s)) << "signal " << s;
    struct sigaction childEnded;
    sigaction(SIGCHLD, nullptr, &childEnded);
    EXPECT_EQ(childEnded.sa_handler, SIG_DFL);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    const RunMeasurement& m = outcome.measurement;
    EXPECT_TRUE(m.Started);
    EXPECT_TRUE(m.TimesValid);
    EXPECT_LE(m.CreationTime, m.ExitTime);
    EXPECT_TRUE(m.MemoryValid);
    EXPECT_GE(m.PeakWorkingSetSize, 32 * MiB);
    EXPECT_EQ(FormOf(outcome.report), Full) << outcome.report;
}

TEST_F(MeasuredRun, MemoryFromPsapiWhenKernelLacksQuery) {
    SwapCall("K32GetProcessMemoryInfo", SystemCallPointer());
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_TRUE(outcome.measurement.MemoryValid);
    EXPECT_EQ(FormOf(outcome.report), Full) << outcome.report;
}

TEST_F(MeasuredRun, NoMemoryFiguresWithoutEitherQuery) {
    SwapCall("K32GetProcessMemoryInfo", SystemCallPointer());
    SwapCall("LoadLibraryW", +[](LPCWSTR) -> HMODULE { return nullptr; });
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_FALSE(outcome.measurement.MemoryValid);
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_EQ(FormOf(outcome.report), WithoutMemory) << outcome.report;
}

TEST_F(MeasuredRun, FailedMemoryQueryLeavesFiguresOut) {
    auto failing = +[](HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD) -> BOOL { return FALSE; };
    SwapCall("K32GetProcessMemoryInfo", failing);
    SwapCall("GetProcessMemoryInfo", failing);
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_FALSE(outcome.measurement.MemoryValid);
    EXPECT_EQ(outcome.printed, "");
    EXPECT_EQ(FormOf(outcome.report), WithoutMemory) << outcome.report;
}

uint64_t BootMilliseconds() {
    struct timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

TEST_F(MeasuredRun, FailedProcessTimesGiveFallbackForm) {
    SwapCall("GetProcessTimes",
             +[](HANDLE, LPFILETIME, LPFILETIME, LPFILETIME, LPFILETIME) -> BOOL { return FALSE; });
    uint64_t before = BootMilliseconds();
    Outcome outcome = Run("sleep_ms", {"100"});
    uint64_t after = BootMilliseconds();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(outcome.measurement.TimesValid);
    // The ticks of the run, in milliseconds: within what the test saw.
    EXPECT_GE(outcome.measurement.ElapsedTicks, 100u);
    EXPECT_LE(outcome.measurement.ElapsedTicks, after - before + 1);
    EXPECT_TRUE(outcome.measurement.MemoryValid);
    EXPECT_EQ(FormOf(outcome.report), Fallback) << outcome.report;
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
    EXPECT_EQ(FormOf(outcome.report), Fallback) << outcome.report;
}

TEST_F(MeasuredRun, GlobalTimeIsExitMinusCreation) {
    SwapCall("GetProcessTimes", TimesAtChosenMoments);
    // Just below a multiple of 2^32: the exit's high half is one more.
    g_creationMoment = 133000000000000000ull | 0xFFFFFFFFull;
    // A run too short for the clock is a run of no time, not a clock set back.
    for (ULONGLONG global : {15 * Second / 10, 0ull}) {
        g_exitMoment = g_creationMoment + global;
        Outcome outcome = Run("exit_with", {"0"});
        EXPECT_TRUE(outcome.measurement.TimesValid);
        std::string line = global ? "\nGlobal  Time =     1.500 =  100%"
                                  : "\nGlobal  Time =     0.000 =    0%";
        EXPECT_NE(outcome.report.find(line), std::string::npos) << outcome.report;
    }
}

TEST_F(MeasuredRun, UnreadableExitCodeIsReportedAndRunGoesOn) {
    SwapCall("GetExitCodeProcess", +[](HANDLE, DWORD*) -> BOOL { return FALSE; });
    Outcome outcome = Run("exit_with", {"3"});
    EXPECT_EQ(outcome.status, FailureStatus);
    EXPECT_EQ(outcome.printed, "\nGetExitCodeProcess error\n");
    EXPECT_TRUE(outcome.measurement.Started);
    EXPECT_EQ(FormOf(outcome.report), Full) << outcome.report;
}

TEST_F(MeasuredRun, ExitCodeAboveTwoTo31IsPrintedAsNegative) {
    // An access violation's code on Windows.
    SwapCall("GetExitCodeProcess",
             +[](HANDLE, DWORD* code) -> BOOL { return *code = 0xC0000005u, TRUE; });
    Outcome outcome = Run("exit_with", {"0"});
    EXPECT_EQ(outcome.status, -1073741819);
    EXPECT_EQ(outcome.printed, "\nExit code: -1073741819\n");
}

// The usage wait4 gives and the status file the peak is read from, both
// of the test's making: the figures must come out of them exactly.
pid_t Wait4WithKnownUsage(pid_t pid, int* status, int options, struct rusage* usage) {
    pid_t result = wait4(pid, status, options, usage);
    if (result > 0) {
        usage->ru_utime = {2, 250000};
        usage->ru_stime = {1, 500};
        usage->ru_maxrss = 3000;
    }
    return result;
}

std::string g_statusText;

ssize_t PreadOfStatusText(int, void* buffer, size_t size, off_t offset) {
    if (offset >= static_cast<off_t>(g_statusText.size())) return 0;
    size_t length = std::min(size, g_statusText.size() - static_cast<size_t>(offset));
    memcpy(buffer, g_statusText.data() + offset, length);
    return static_cast<ssize_t>(length);
}

TEST_F(MeasuredRun, FiguresAreTheSystemsInWin32Units) {
    SwapCall("wait4", Wait4WithKnownUsage);
    SwapCall("pread", PreadOfStatusText);
    // The key and its line cut, in turn, by the end of the first piece the
    // status file is read in (4095 bytes), behind a long Groups line.
    const std::string line = "\nVmPeak:\t  123456 kB\nVmSize:\t 1000 kB\n";
    for (size_t cut : {size_t(3), size_t(12), size_t(0), line.size()}) {
        g_statusText = "Name:\tchild\nGroups:" + std::string(4095 - cut - 19, '1') + line;
        Outcome outcome = Run("sleep_ms", {"200"});
        const RunMeasurement& m = outcome.measurement;
        EXPECT_EQ(m.UserTime, 2 * Second + 2500000);
        EXPECT_EQ(m.KernelTime, Second + 5000);
        EXPECT_EQ(m.PeakWorkingSetSize, 3000u * 1024);
        EXPECT_EQ(m.PeakPagefileUsage, 123456u * 1024) << "cut " << cut;
    }
}

TEST_F(MeasuredRun, RunWithLongCommandLineLeavesNoDescriptorOpen) {
    // Long enough for the raw line to live in a memory file, and long
    // enough for several readings of the status file.
    auto descriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    auto before = descriptors();
    Outcome outcome = Run("sleep_ms", {"100", std::string(100000, 'x')});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(descriptors(), before);
}

// The layer's calls as wexel's core makes them, outside RunMeasured.
bool Start(LPWSTR commandLine, PROCESS_INFORMATION* child) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, child);
}

BOOL(WINAPI* MemoryQuery())(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD) {
    return reinterpret_cast<BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD)>(
        GetProcAddress(GetModuleHandleW(TEXT("kernel32.dll")), "K32GetProcessMemoryInfo"));
}

// A clock that moves only as the wait sleeps, and the sleeps it asked for.
uint64_t g_fakeNanoseconds;
std::vector<uint64_t> g_sleeps;

int FakeClock(clockid_t, struct timespec* now) {
    now->tv_sec = static_cast<time_t>(g_fakeNanoseconds / 1000000000u);
    now->tv_nsec = static_cast<long>(g_fakeNanoseconds % 1000000000u);
    return 0;
}

int SleepOnFakeClock(const sigset_t*, siginfo_t*, const struct timespec* timeout) {
    uint64_t nanoseconds = static_cast<uint64_t>(timeout->tv_sec) * 1000000000u +
                           static_cast<uint64_t>(timeout->tv_nsec);
    g_sleeps.push_back(nanoseconds);
    g_fakeNanoseconds += nanoseconds;
    errno = EAGAIN;
    return -1;
}

TEST_F(MeasuredRun, FiniteWaitEndsAtItsDeadlineWhileTheCommandRuns) {
    // Long past the wait's limit, but not forever, should the limit be lost.
    LPWSTR commandLine = CommandBufferFor({WEXEL_CHILDREN_DIR "/sleep_ms", "3000"});
    PROCESS_INFORMATION child;
    g_fakeNanoseconds = BootMilliseconds() * 1000000u;
    uint64_t started = g_fakeNanoseconds;
    g_sleeps.clear();
    SwapCall("clock_gettime", FakeClock);
    SwapCall("sigtimedwait", SleepOnFakeClock);
    ASSERT_TRUE(Start(commandLine, &child));
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 1000), WAIT_TIMEOUT);
    RestoreCalls();
    // The virtual peak is read 1 ms after the start, then at most 80 ms
    // apart, and the wait ends at its deadline, not at the next reading.
    ASSERT_FALSE(g_sleeps.empty());
    EXPECT_LE(g_sleeps.front(), 1000000u);
    EXPECT_LE(*std::max_element(g_sleeps.begin(), g_sleeps.end()), 80000000u);
    EXPECT_EQ(g_fakeNanoseconds - started, 1000000000u);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(child.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    ASSERT_GT(child.dwProcessId, 1u);  // never kill(0) nor kill(1)
    kill(static_cast<pid_t>(child.dwProcessId), SIGKILL);
    EXPECT_EQ(WaitForSingleObject(child.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(child.hProcess, &code));
    EXPECT_EQ(code, 128u + SIGKILL);
    auto query = MemoryQuery();
    PROCESS_MEMORY_COUNTERS counters;
    EXPECT_FALSE(query(child.hProcess, &counters, sizeof(counters) - 1));
    EXPECT_TRUE(query(child.hProcess, &counters, sizeof(counters)));
    // A closed handle names nothing, while the other still does.
    EXPECT_TRUE(CloseHandle(child.hThread));
    EXPECT_FALSE(CloseHandle(child.hThread));
    EXPECT_TRUE(GetExitCodeProcess(child.hProcess, &code));
    EXPECT_TRUE(CloseHandle(child.hProcess));
    free(commandLine);
}

TEST_F(MeasuredRun, QueriesFailOnceSomeoneElseReapedTheChild) {
    // A library's own waitpid took the child's end: what is gone is
    // reported as unreadable, never as a clean exit.
    LPWSTR commandLine = CommandBufferFor({WEXEL_CHILDREN_DIR "/exit_with", "3"});
    PROCESS_INFORMATION child;
    ASSERT_TRUE(Start(commandLine, &child));
    pid_t pid = static_cast<pid_t>(child.dwProcessId);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    EXPECT_EQ(WaitForSingleObject(child.hProcess, INFINITE), WAIT_OBJECT_0);
    FILETIME creation, exit, kernel, user;
    EXPECT_FALSE(GetProcessTimes(child.hProcess, &creation, &exit, &kernel, &user));
    DWORD code = 12345;
    EXPECT_FALSE(GetExitCodeProcess(child.hProcess, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ECHILD));
    auto query = MemoryQuery();
    PROCESS_MEMORY_COUNTERS counters;
    EXPECT_FALSE(query(child.hProcess, &counters, sizeof(counters)));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    free(commandLine);
}

void ReapEveryChild(int) {
    int savedErrno = errno;
    while (waitpid(-1, NULL, WNOHANG) > 0) {
    }
    errno = savedErrno;
}

TEST_F(MeasuredRun, StatusSurvivesAnotherSigchldHandler) {
    // Signals are held while the layer waits: a SIGCHLD handler of someone
    // else's cannot run then and take the child's end.
    struct sigaction reaper = {}, saved;
    reaper.sa_handler = ReapEveryChild;
    reaper.sa_flags = SA_RESTART;
    ASSERT_EQ(sigaction(SIGCHLD, &reaper, &saved), 0);
    Outcome outcome = Run("exit_with", {"3"});
    sigaction(SIGCHLD, &saved, nullptr);
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(outcome.printed, "\nExit code: 3\n");
    EXPECT_TRUE(outcome.measurement.TimesValid);
    EXPECT_TRUE(outcome.measurement.MemoryValid);
}

TEST(Modules, NamesMatchWithoutCaseAndExportsExactly) {
    HMODULE kernel = GetModuleHandleW(TEXT("KERNEL32.dll"));
    EXPECT_NE(kernel, nullptr);
    EXPECT_EQ(GetModuleHandleW(TEXT("kernel32")), nullptr);
    EXPECT_EQ(GetProcAddress(kernel, "GetProcessMemoryInfo"), nullptr);
    EXPECT_EQ(LoadLibraryW(TEXT("user32.dll")), nullptr);
    HMODULE psapi = LoadLibraryW(TEXT("PSAPI.DLL"));
    EXPECT_NE(psapi, nullptr);
    EXPECT_EQ(GetModuleHandleW(TEXT("psapi.dll")), psapi);
}

// Console handlers as Windows keeps them: the newest first, each able to
// end the event, and a removed one leaving room for another.
std::string g_handled;

template <char Name, BOOL EndsTheEvent>
BOOL WINAPI NamedHandler(DWORD) {
    g_handled += Name;
    return EndsTheEvent;
}

std::string HandlersOfCtrlC() {
    Child child = {};
    siginfo_t typed = {};
    typed.si_signo = SIGINT;
    typed.si_code = SI_KERNEL;
    g_handled.clear();
    RouteSignal(&child, &typed);
    return g_handled;
}

TEST(ConsoleHandlers, NewestFirstAsManyAsTheTableHolds) {
    PHANDLER_ROUTINE handlers[] = {NamedHandler<'a', TRUE>,  NamedHandler<'b', FALSE>,
                                   NamedHandler<'c', FALSE>, NamedHandler<'d', FALSE>,
                                   NamedHandler<'e', FALSE>, NamedHandler<'f', FALSE>,
                                   NamedHandler<'g', FALSE>, NamedHandler<'h', FALSE>};
    for (PHANDLER_ROUTINE handler : handlers) ASSERT_TRUE(SetConsoleCtrlHandler(handler, TRUE));
    EXPECT_FALSE(SetConsoleCtrlHandler(NamedHandler<'i', TRUE>, TRUE));
    EXPECT_EQ(HandlersOfCtrlC(), "hgfedcba");
    EXPECT_TRUE(SetConsoleCtrlHandler(handlers[7], FALSE));
    EXPECT_TRUE(SetConsoleCtrlHandler(NamedHandler<'i', TRUE>, TRUE));
    EXPECT_EQ(HandlersOfCtrlC(), "i");
    EXPECT_TRUE(SetConsoleCtrlHandler(NamedHandler<'i', TRUE>, FALSE));
    for (int i = 6; i >= 0; --i) EXPECT_TRUE(SetConsoleCtrlHandler(handlers[i], FALSE));
    EXPECT_FALSE(SetConsoleCtrlHandler(handlers[0], FALSE));
}

void* FailingCalloc(size_t, size_t) {
    errno = ENOMEM;
    return nullptr;
}

int g_starts;
pid_t g_lastStarted;

int CountedClone(int (*function)(void*), void* stack, int flags, void* argument, ...) {
    ++g_starts;
    return g_lastStarted = clone(function, stack, flags, argument);
}

// As a process limit reached between the program's start and the shell's.
int CloneRefusedAfterTheFirst(int (*function)(void*), void* stack, int flags, void* argument,
                              ...) {
    if (g_starts > 0) return errno = EAGAIN, -1;
    return CountedClone(function, stack, flags, argument);
}

// As qemu-user and valgrind run the launch's clone: a plain fork, whose
// child writes nothing into wexel's memory.
int CloneAsPlainFork(int (*function)(void*), void*, int, void* argument, ...) {
    pid_t pid = fork();
    if (pid == 0) _exit(function(argument));
    return pid;
}

// Whether the launch's clone shares wexel's memory here: valgrind runs it
// as a plain fork too, and then only the pipe can bring an error back.
int g_writtenByClone;

int WriteFromClone(void*) {
    g_writtenByClone = 1;
    _exit(0);
}

bool CloneSharesMemory() {
    alignas(16) static char stack[16 * 1024];
    g_writtenByClone = 0;
    pid_t pid = clone(WriteFromClone, stack + sizeof(stack), CLONE_VM | CLONE_VFORK | SIGCHLD,
                      nullptr);
    if (pid > 0) waitpid(pid, nullptr, 0);
    return g_writtenByClone == 1;
}

// As a descriptor limit that the three standard descriptors have reached.
int PipeRefused(int*, int) {
    errno = EMFILE;
    return -1;
}

// A file with no #! line, which the kernel refuses and /bin/sh runs.
std::string WriteScript(const char* text) {
    char script[] = "/tmp/wexel-script-XXXXXX";
    int file = mkstemp(script);
    EXPECT_GE(file, 0);
    EXPECT_EQ(write(file, text, strlen(text)), static_cast<ssize_t>(strlen(text)));
    fchmod(file, 0700);
    close(file);
    return script;
}

// An orphan that ends just before the command does: the wait hears of the
// orphan first, and by the time it reaps it the command has ended too.
pid_t g_orphan;

int WaitidHearingOfAnOrphanFirst(idtype_t type, id_t id, siginfo_t* info, int options) {
    auto real = DefaultCall<decltype(&WaitidHearingOfAnOrphanFirst)>("waitid");
    if (type != P_ALL || g_orphan != 0) return real(type, id, info, options);
    g_orphan = fork();
    if (g_orphan == 0) _exit(0);
    siginfo_t ended;
    real(P_PID, static_cast<id_t>(g_orphan), &ended, WEXITED | WNOWAIT);
    real(P_PID, static_cast<id_t>(g_lastStarted), &ended, WEXITED | WNOWAIT);
    *info = ended;
    info->si_pid = g_orphan;
    return 0;
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

TEST_F(MeasuredRun, OrphanEndingWithTheCommandLeavesTheCommandsStatus) {
    g_orphan = 0;
    SwapCall("clone", CountedClone);
    SwapCall("waitid", WaitidHearingOfAnOrphanFirst);
    Outcome outcome = Run("sleep_ms", {"50"});
    ASSERT_GT(g_orphan, 0);
    EXPECT_EQ(waitpid(g_orphan, nullptr, WNOHANG), -1);  // reaped by the wait
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.printed, "");
}

TEST_F(MeasuredRun, ShellThatCannotStartGivesTheFilesOwnError) {
    // A script with no #! line is run with /bin/sh, which cannot start here.
    std::string script = WriteScript("exit 3\n");
    g_starts = 0;
    SwapCall("clone", CloneRefusedAfterTheFirst);
    Outcome outcome = Run(script, {});
    unlink(script.c_str());
    EXPECT_EQ(g_starts, 1);
    EXPECT_EQ(outcome.status, FailureStatus);
    EXPECT_EQ(outcome.printed, "\nCan't find program. Error code = 8\n");
}

TEST_F(MeasuredRun, FailedExecIsTheLaunchsErrorWhateverTheForkOrTheDescriptors) {
    // Under a plain fork only the pipe brings the exec's error back; with
    // no pipe to be had, a real vfork's shared memory still does.
    std::string script = WriteScript("exit 3\n");
    for (bool plainFork : {true, false}) {
        SCOPED_TRACE(plainFork ? "plain fork" : "no pipe");
        if (!plainFork && !CloneSharesMemory()) continue;
        RestoreCalls();
        if (plainFork) SwapCall("clone", CloneAsPlainFork);
        else SwapCall("pipe2", PipeRefused);
        Outcome missing = Run("/nonexistent/program", {});
        EXPECT_EQ(missing.status, FailureStatus);
        EXPECT_EQ(missing.printed, "\nCan't find program. Error code = 2\n");
        EXPECT_FALSE(missing.measurement.Started);
        Outcome shell = Run(script, {});
        EXPECT_EQ(shell.status, 3);
        EXPECT_EQ(shell.printed, "\nExit code: 3\n");
    }
    unlink(script.c_str());
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
    EXPECT_EQ(FormOf(outcome.report), Full) << outcome.report;
}

}  // namespace
