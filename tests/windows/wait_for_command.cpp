// Test parent: a stand-in for wexel without its console control handler.
// Starts the rest of its command line (after its own unquoted name and one
// blank) in the same console, waits for it, and says when it ended.
#include <windows.h>

#include <stdio.h>

int main() {
    LPWSTR command = GetCommandLineW();
    while (*command != 0 && *command != ' ') ++command;
    if (*command == ' ') ++command;

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        printf("cannot start the command, error %lu\n", static_cast<unsigned long>(GetLastError()));
        return 4;
    }
    CloseHandle(child.hThread);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hProcess);
    printf("command ended\n");
    return 0;
}
