#include "expectations.h"

#include <stdio.h>

static int g_checks;
static int g_failures;

std::string Visible(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02x", c);
            shown += hex;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

void ExpectTrue(const char* test, bool condition, const std::string& details) {
    ++g_checks;
    if (condition) return;
    ++g_failures;
    printf("FAIL %s: %s\n", test, details.c_str());
}

void ExpectText(const char* test, const std::string& actual, const std::string& expected) {
    ExpectTrue(test, actual == expected,
               "expected \"" + Visible(expected) + "\"\n     got \"" + Visible(actual) + "\"");
}

void ExpectCode(const char* test, DWORD actual, DWORD expected) {
    char details[96];
    snprintf(details, sizeof(details), "exit code 0x%08lx, expected 0x%08lx",
             static_cast<unsigned long>(actual), static_cast<unsigned long>(expected));
    ExpectTrue(test, actual == expected, details);
}

int Finish() {
    printf("%d checks, %d failed\n", g_checks, g_failures);
    return g_failures == 0 ? 0 : 1;
}
