#include "wexel_launch.h"

#include <stdio.h>
#include <stdlib.h>

static void Fail(const char* what) {
    fprintf(stderr, "test harness: %s failed, error %lu\n", what, GetLastError());
    exit(2);
}

WexelRun RunWexel(const wchar_t* applicationName, const std::wstring& commandLine,
                  DWORD creationFlags) {
    WexelRun run = {false, 0, std::string(), 0};

    // Only the write end is inherited; a read end left in the child would
    // keep the pipe open after wexel ends.
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) Fail("CreatePipe");
    if (!SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) Fail("SetHandleInformation");

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

    // CreateProcessW may write into the command line, so it gets a copy.
    std::wstring writable = commandLine;
    PROCESS_INFORMATION process;
    BOOL created = CreateProcessW(applicationName, &writable[0], NULL, NULL, TRUE,
                                  creationFlags, NULL, NULL, &startup, &process);
    run.LaunchError = created ? 0 : GetLastError();
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        return run;
    }
    run.Launched = true;
    CloseHandle(process.hThread);

    char chunk[4096];
    DWORD got;
    while (ReadFile(readEnd, chunk, sizeof(chunk), &got, NULL) && got > 0)
        run.Output.append(chunk, got);
    CloseHandle(readEnd);

    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0)
        Fail("WaitForSingleObject");
    if (!GetExitCodeProcess(process.hProcess, &run.ExitCode)) Fail("GetExitCodeProcess");
    CloseHandle(process.hProcess);
    return run;
}

std::wstring TestProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) Fail("GetModuleFileNameW");
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring WindowsPath(const char* path) {
    std::wstring converted;
    if (path[0] == '/') converted = L"Z:";
    for (const char* c = path; *c != 0; ++c)
        converted += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return converted;
}

std::wstring StartTestProgram(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s PATH-OF-WEXEL.EXE\n", argc > 0 ? argv[0] : "test");
        return std::wstring();
    }
    SetCurrentDirectoryW(TestProgramFolder().c_str());
    return WindowsPath(argv[1]);
}
