// Test child: sends Ctrl+C to every process on its console (itself, the
// program that started it and whoever else shares it) and waits for the
// event to reach its own handler. It then stays a second longer, so that the
// event has long reached the others before it ends, and ends with the code
// Windows gives a process that Ctrl+C ended. Without the event it ends
// with 3.
#include <windows.h>

#include <stdio.h>

static HANDLE g_arrived;

static BOOL WINAPI NoteArrival(DWORD event) {
    if (event == CTRL_C_EVENT) SetEvent(g_arrived);
    return TRUE;
}

int main() {
    DWORD processes[8];
    printf("processes on the console: %lu\n",
           static_cast<unsigned long>(GetConsoleProcessList(processes, 8)));
    fflush(stdout);
    g_arrived = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (g_arrived == NULL || !SetConsoleCtrlHandler(NoteArrival, TRUE)) return 4;
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        printf("GenerateConsoleCtrlEvent failed, error %lu\n",
               static_cast<unsigned long>(GetLastError()));
        return 4;
    }
    if (WaitForSingleObject(g_arrived, 10000) != WAIT_OBJECT_0) {
        printf("no console control event arrived\n");
        return 3;
    }
    Sleep(1000);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
