#include "command_tail.h"
#include "measured_run.h"
#include "report.h"

// The child shares the console and gets every control event itself; wexel
// outlives it so that the interrupted run is still measured and reported.
static BOOL WINAPI CtrlHandler(DWORD) {
    return TRUE;
}

int main(int argc, char** argv, char** envp) {
    // The child's command line is cut from the raw command line as typed,
    // never rebuilt from the split arguments.
    (void)argv;
    (void)envp;
    if (argc == 1) {
        printf("Wexel : " WEXEL_VERSION " : " WEXEL_RELEASE_DATE "\n");
        printf("Usage: wexel program [parameter1] [parameter2] ...\n");
        return 0;
    }

    SetConsoleCtrlHandler(CtrlHandler, TRUE);
    LPCWSTR tail = GetCommandTail(GetCommandLineW());
    size_t units = static_cast<size_t>(lstrlenW(tail)) + 1;
    LPWSTR commandBuffer = static_cast<LPWSTR>(malloc(units * sizeof(WCHAR)));
    // Never released, like the raw command line it is cut from: the
    // process ends soon after the run.
    if (commandBuffer == NULL) return FailureStatus;
    lstrcpyW(commandBuffer, tail);

    RunMeasurement measurement;
    int status = RunMeasured(commandBuffer, &measurement);
    if (measurement.Started) PrintReport(&measurement);
    return status;
}
