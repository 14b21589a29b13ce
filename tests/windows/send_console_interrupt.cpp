// Test child: sends Ctrl+C to every process on its console (itself, the
// program that started it and whoever else shares it), then waits for the
// event to arrive. The default handler ends this process; if the event never
// comes, the child says so and ends with 3 after the wait.
#include <windows.h>

#include <stdio.h>

int main() {
    DWORD processes[8];
    printf("processes on the console: %lu\n",
           static_cast<unsigned long>(GetConsoleProcessList(processes, 8)));
    fflush(stdout);
    // A process created in a new process group starts with Ctrl+C ignored;
    // this puts the default handling back.
    SetConsoleCtrlHandler(NULL, FALSE);
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        printf("GenerateConsoleCtrlEvent failed, error %lu\n",
               static_cast<unsigned long>(GetLastError()));
        return 4;
    }
    Sleep(10000);
    printf("no console control event arrived\n");
    return 3;
}
