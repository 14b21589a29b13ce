// Starts wexel.exe the way a Windows shell would, but with a raw command line
// chosen unit for unit, and collects what a caller of wexel can observe.
#ifndef WEXEL_TESTS_WINDOWS_WEXEL_LAUNCH_H
#define WEXEL_TESTS_WINDOWS_WEXEL_LAUNCH_H

#include <windows.h>

#include <string>

struct WexelRun {
    bool Launched;       // CreateProcessW of wexel itself succeeded
    DWORD LaunchError;   // GetLastError when it did not
    std::string Output;  // everything written to wexel's standard output
    DWORD ExitCode;      // the full 32 bits, as GetExitCodeProcess reads them
};

// Runs commandLine with wexel's standard output on a pipe and waits for the
// pipe to close and the process to end. applicationName may be null, and
// then the platform finds the program from the command line's first token.
// creationFlags go to CreateProcessW as they are.
WexelRun RunWexel(const wchar_t* applicationName, const std::wstring& commandLine,
                  DWORD creationFlags = 0);

// The folder this test program was started from, with its trailing
// backslash: the helper children are built beside it.
std::wstring TestProgramFolder();

// A path the tests were given on their own command line, as Windows sees it:
// Wine maps the Unix root to drive Z:.
std::wstring WindowsPath(const char* path);

// What every test program does first: takes wexel.exe's path from its one
// argument and moves to its own folder, where the helper children are found
// by bare name. An empty path, after a usage message, when the argument is
// missing.
std::wstring StartTestProgram(int argc, char** argv);

#endif
