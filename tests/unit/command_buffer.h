// A command buffer made as wexel's main makes it: the arguments kept as the
// process's own (wexel's name first), the raw line read back, the tail cut
// and copied. The arguments live until the next call; free() the buffer.
#ifndef WEXEL_TESTS_UNIT_COMMAND_BUFFER_H
#define WEXEL_TESTS_UNIT_COMMAND_BUFFER_H

#include "command_line.h"
#include "command_tail.h"

#include <string>
#include <vector>

inline LPWSTR CommandBufferFor(const std::vector<std::string>& command) {
    static std::vector<std::string> kept;
    static std::vector<char*> vector;
    kept = command;
    kept.insert(kept.begin(), "wexel");
    vector.clear();
    for (std::string& argument : kept) vector.push_back(&argument[0]);
    vector.push_back(nullptr);
    KeepArguments(static_cast<int>(kept.size()), vector.data());
    LPCWSTR tail = GetCommandTail(GetCommandLineW());
    LPWSTR buffer = static_cast<LPWSTR>(malloc((lstrlenW(tail) + 1) * sizeof(WCHAR)));
    if (buffer != nullptr) lstrcpyW(buffer, tail);
    return buffer;
}

#endif
