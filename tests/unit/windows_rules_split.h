// The Windows run-time's rules for splitting a command line into arguments,
// as the oracle that the Linux layer's quoting is checked against: whatever
// wexel's own arguments hold, the raw line it builds must read back as those
// arguments. The rules, from the run-time's documentation:
//  - blanks (space, tab) separate arguments outside quotes;
//  - a quote toggles quoting, and inside quotes "" stands for one quote;
//  - 2n backslashes before a quote are n backslashes and the quote acts;
//    2n+1 are n backslashes and a literal quote;
//  - backslashes anywhere else are literal.
// Units above 0xFF, which no byte of a Linux argument makes, give false.
#ifndef WEXEL_TESTS_UNIT_WINDOWS_RULES_SPLIT_H
#define WEXEL_TESTS_UNIT_WINDOWS_RULES_SPLIT_H

#include "platform.h"

#include <string>
#include <vector>

inline bool IsBlankUnit(WCHAR unit) {
    return unit == ' ' || unit == '\t';
}

// One argument from p on; p is left after it.
inline bool SplitOneArgument(const WCHAR*& p, std::string* argument) {
    bool quoted = false;
    while (*p != 0 && (quoted || !IsBlankUnit(*p))) {
        if (*p > 0xFF) return false;
        if (*p == '\\') {
            size_t backslashes = 0;
            while (p[backslashes] == '\\') ++backslashes;
            bool beforeQuote = p[backslashes] == '"';
            argument->append(beforeQuote ? backslashes / 2 : backslashes, '\\');
            p += backslashes;
            if (beforeQuote && backslashes % 2 == 1) *argument += static_cast<char>(*p++);
        } else if (*p == '"' && quoted && p[1] == '"') {
            *argument += '"';
            p += 2;
        } else if (*p == '"') {
            quoted = !quoted;
            ++p;
        } else {
            *argument += static_cast<char>(*p++);
        }
    }
    return true;
}

inline bool SplitByWindowsRules(const WCHAR* line, std::vector<std::string>* arguments) {
    arguments->clear();
    for (const WCHAR* p = line;;) {
        while (IsBlankUnit(*p)) ++p;
        if (*p == 0) return true;
        arguments->emplace_back();
        if (!SplitOneArgument(p, &arguments->back())) return false;
    }
}

#endif
