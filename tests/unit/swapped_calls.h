// The layer's call tables as the tests use them: an entry replaced by
// name, and every entry put back after each test.
#ifndef WEXEL_TESTS_UNIT_SWAPPED_CALLS_H
#define WEXEL_TESTS_UNIT_SWAPPED_CALLS_H

#include "linux/system_calls.h"
#include "win32_calls.h"

#include <gtest/gtest.h>
#include <string.h>

// A name that neither table has fails the test: a call renamed in the
// layer must not leave a test swapping nothing.
template <typename Function>
bool SwapCall(const char* name, Function function) {
    SystemCall* tables[] = {g_systemCalls, g_win32Calls};
    int counts[] = {SystemCallCount, Win32CallCount};
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < counts[t]; ++i)
            if (strcmp(tables[t][i].Name, name) == 0) {
                tables[t][i].Current = reinterpret_cast<SystemCallPointer>(function);
                return true;
            }
    ADD_FAILURE() << "no call named " << name << " to swap";
    return false;
}

inline void RestoreCalls() {
    for (SystemCall& call : g_systemCalls) call.Current = call.Default;
    for (SystemCall& call : g_win32Calls) call.Current = call.Default;
}

// The system's own function behind an entry, to call from a replacement.
template <typename Function>
Function DefaultCall(const char* name) {
    for (const SystemCall& call : g_systemCalls)
        if (strcmp(call.Name, name) == 0) return reinterpret_cast<Function>(call.Default);
    for (const SystemCall& call : g_win32Calls)
        if (strcmp(call.Name, name) == 0) return reinterpret_cast<Function>(call.Default);
    return nullptr;
}

#endif
