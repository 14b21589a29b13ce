// A child reaped behind the Linux layer's back, by a library's own
// waitpid(-1) before the wait, takes its exit status and usage with it.
// What is gone must be reported as unreadable, never as a clean exit.
#include "command_buffer.h"
#include "measured_run.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>

namespace {

LPWSTR ChildCommandLine(const char* name, const char* argument) {
    return CommandBufferFor({std::string(WEXEL_CHILDREN_DIR "/") + name, argument});
}

LPWSTR ExitWithCommandLine(const char* code) {
    return ChildCommandLine("exit_with", code);
}

void ReapEveryChild(int) {
    int savedErrno = errno;
    while (waitpid(-1, NULL, WNOHANG) > 0) {
    }
    errno = savedErrno;
}

class ReaperInstalled : public testing::Test {
protected:
    void SetUp() override {
        struct sigaction action;
        memset(&action, 0, sizeof(action));
        action.sa_handler = ReapEveryChild;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ASSERT_EQ(sigaction(SIGCHLD, &action, &saved_), 0);
    }
    void TearDown() override { sigaction(SIGCHLD, &saved_, NULL); }

private:
    struct sigaction saved_;
};

TEST(LostChild, QueriesFailOnceSomeoneElseReapedTheChild) {
    LPWSTR commandLine = ExitWithCommandLine("3");
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child;
    ASSERT_TRUE(CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                               &child));
    int status;
    ASSERT_EQ(waitpid(static_cast<pid_t>(child.dwProcessId), &status, 0),
              static_cast<pid_t>(child.dwProcessId));
    ASSERT_EQ(WEXITSTATUS(status), 3);

    EXPECT_EQ(WaitForSingleObject(child.hProcess, INFINITE), WAIT_OBJECT_0);
    FILETIME creation, exit, kernel, user;
    EXPECT_FALSE(GetProcessTimes(child.hProcess, &creation, &exit, &kernel, &user));
    DWORD code = 12345;
    EXPECT_FALSE(GetExitCodeProcess(child.hProcess, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ECHILD));
    FARPROC query =
        GetProcAddress(GetModuleHandleW(TEXT("kernel32.dll")), "K32GetProcessMemoryInfo");
    ASSERT_NE(query, nullptr);
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof(counters));
    auto memoryInfo = reinterpret_cast<BOOL (*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD)>(query);
    EXPECT_FALSE(memoryInfo(child.hProcess, &counters, sizeof(counters)));

    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    free(commandLine);
}

TEST_F(ReaperInstalled, RunMeasuredKeepsTheStatusFromAnotherHandler) {
    // Signals are held while the layer waits, so a SIGCHLD handler of
    // someone else's cannot run then and take the child's end: the layer
    // reaps the child itself, with its true status and figures.
    LPWSTR commandLine = ChildCommandLine("exit_with", "3");
    RunMeasurement measurement;
    testing::internal::CaptureStdout();
    int status = RunMeasured(commandLine, &measurement);
    fflush(stdout);
    std::string printed = testing::internal::GetCapturedStdout();
    free(commandLine);

    EXPECT_EQ(status, 3);
    EXPECT_EQ(printed, "\nExit code: 3\n");
    EXPECT_TRUE(measurement.TimesValid);
    EXPECT_TRUE(measurement.MemoryValid);
}

}  // namespace
