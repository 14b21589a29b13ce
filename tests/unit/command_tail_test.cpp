// Where the child's command line begins inside wexel's raw command line.
#include "command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The tail as plain text, for readable failures (the cases are ASCII).
std::string TailOf(const char16_t* line) {
    std::string tail;
    for (LPCWSTR unit = GetCommandTail(line); *unit != 0; ++unit)
        tail += static_cast<char>(*unit);
    return tail;
}

TEST(CommandTail, SkipsPlainNameAndBlanksBehindIt) {
    EXPECT_EQ(TailOf(u"wexel make -j2"), "make -j2");
    EXPECT_EQ(TailOf(u"wexel    make"), "make");
}

TEST(CommandTail, SkipsBlanksBeforeName) {
    EXPECT_EQ(TailOf(u"  \t wexel cmd"), "cmd");
}

TEST(CommandTail, QuotedNameWithSpacesIsPassedOverWhole) {
    EXPECT_EQ(TailOf(u"\"C:\\Program Files\\wexel.exe\"   cmd /c dir"), "cmd /c dir");
}

TEST(CommandTail, QuoteInMiddleOfPathIsPassedOverWhole) {
    EXPECT_EQ(TailOf(u"C:\\\"Program Files\"\\wexel.exe cmd"), "cmd");
    EXPECT_EQ(TailOf(u"a\"b c\"d\" e\"f g"), "g");
}

TEST(CommandTail, BackslashDoesNotProtectQuote) {
    // The backslash is part of the name; the quote after it still opens.
    EXPECT_EQ(TailOf(u"we\\\"x el\" tail"), "tail");
}

TEST(CommandTail, TabSeparatesLikeSpace) {
    EXPECT_EQ(TailOf(u"wexel\tcmd arg"), "cmd arg");
    EXPECT_EQ(TailOf(u"wexel \t \tcmd"), "cmd");
}

TEST(CommandTail, OtherWhiteSpaceBelongsToName) {
    EXPECT_EQ(TailOf(u"we\nxel\vx\rcmd tail"), "tail");
}

TEST(CommandTail, TailIsKeptAsTyped) {
    EXPECT_EQ(TailOf(u"wexel cmd  \"a  b\" \\\\\"q\\\" \t x   "),
              "cmd  \"a  b\" \\\\\"q\\\" \t x   ");
}

TEST(CommandTail, UnclosedQuoteMakesRestOfLineTheName) {
    EXPECT_EQ(TailOf(u"\"wexel cmd arg"), "");
    EXPECT_EQ(TailOf(u"we\"xel cmd arg"), "");
}

TEST(CommandTail, EmptyAndBlankLinesGiveEmptyTail) {
    const char16_t* empty = u"";
    EXPECT_EQ(GetCommandTail(empty), empty);
    const char16_t* blanks = u" \t ";
    EXPECT_EQ(GetCommandTail(blanks), blanks + 3);
    EXPECT_EQ(TailOf(u"wexel"), "");
    EXPECT_EQ(TailOf(u"wexel   "), "");
}

}  // namespace
