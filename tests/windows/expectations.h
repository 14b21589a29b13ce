// The few checks the Windows test programs share. Each failed check prints
// what was expected and what came, with control characters made visible,
// and counts toward the program's exit status.
#ifndef WEXEL_TESTS_WINDOWS_EXPECTATIONS_H
#define WEXEL_TESTS_WINDOWS_EXPECTATIONS_H

#include <windows.h>

#include <string>

void ExpectTrue(const char* test, bool condition, const std::string& details);
void ExpectText(const char* test, const std::string& actual, const std::string& expected);
void ExpectCode(const char* test, DWORD actual, DWORD expected);

// "\r" and "\n" as escapes, other control characters in hex.
std::string Visible(const std::string& text);

// 0 when every check passed, 1 otherwise; prints the tally.
int Finish();

#endif
