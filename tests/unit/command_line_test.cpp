// Linux argument vectors through one Windows command line and back: what
// wexel receives must reach its child byte for byte, and the line must
// read as those arguments by the Windows run-time's own rules.
#include "command_line.h"
#include "command_tail.h"
#include "windows_rules_split.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Arguments;

// The raw line of a process started with these arguments.
std::u16string Line(const Arguments& arguments) {
    std::vector<char*> vector;
    for (const std::string& argument : arguments)
        vector.push_back(const_cast<char*>(argument.c_str()));
    vector.push_back(nullptr);
    KeepArguments(static_cast<int>(arguments.size()), vector.data());
    return GetCommandLineW();
}

Arguments Split(const std::u16string& line) {
    Arguments arguments;
    EXPECT_TRUE(SplitByWindowsRules(line.c_str(), &arguments));
    return arguments;
}

// Readable in a failure message: every byte outside plain ASCII in hex.
std::string Shown(const Arguments& arguments) {
    std::string shown;
    for (const std::string& argument : arguments) {
        shown += "[";
        for (unsigned char byte : argument) {
            char hex[8];
            snprintf(hex, sizeof(hex), byte > 32 && byte < 127 ? "%c" : "\\x%02x", byte);
            shown += hex;
        }
        shown += "] ";
    }
    return shown;
}

// Arguments made of what the quoting rules care about, mixed with any
// other byte; empty ones included.
std::string HostileArgument(std::mt19937& random) {
    static const char special[] = {' ', '\t', '\n', '"', '\\', '\\', '\\', 'a'};
    std::string argument;
    size_t length = random() % 12;
    for (size_t i = 0; i < length; ++i) {
        if (random() % 2 == 0)
            argument += special[random() % sizeof(special)];
        else
            argument += static_cast<char>(1 + random() % 255);
    }
    return argument;
}

Arguments HostileArguments(std::mt19937& random) {
    Arguments arguments;
    size_t count = random() % 7;
    for (size_t i = 0; i < count; ++i) arguments.push_back(HostileArgument(random));
    return arguments;
}

TEST(CommandLine, SplitFollowsRuntimeRules) {
    // The examples the Windows run-time documents for its argument parsing.
    EXPECT_EQ(Split(u"\"abc\" d e"), (Arguments{"abc", "d", "e"}));
    EXPECT_EQ(Split(u"a\\\\\\b d\"e f\"g h"), (Arguments{"a\\\\\\b", "de fg", "h"}));
    EXPECT_EQ(Split(u"a\\\\\\\"b c d"), (Arguments{"a\\\"b", "c", "d"}));
    EXPECT_EQ(Split(u"a\\\\\\\\\"b c\" d e"), (Arguments{"a\\\\b c", "d", "e"}));
    EXPECT_EQ(Split(u"a\"b\"\" c d"), (Arguments{"ab\" c d"}));
    EXPECT_EQ(Split(u" \t\"\"  x\ny "), (Arguments{"", "x\ny"}));
    EXPECT_EQ(Split(u""), Arguments{});
}

TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(Line({"wexel", "make", "-j2"}), u"wexel make -j2");
    EXPECT_EQ(Line({"wexel", "", "a b", "a\"b", "a\\b", "a\\\\\"b", "tail\\ \\"}),
              u"wexel \"\" \"a b\" \"a\\\"b\" a\\b \"a\\\\\\\\\\\"b\" \"tail\\ \\\\\"");
}

TEST(CommandLine, OnlyTheTailUnchangedStandsForTheArguments) {
    std::string name = "wexel", program = "prog", spaced = "a b", empty;
    char* vector[] = {&name[0], &program[0], &spaced[0], &empty[0], nullptr};
    KeepArguments(4, vector);
    std::u16string tail = GetCommandTail(GetCommandLineW());
    // The very vector received: nothing copied, the empty argument kept.
    EXPECT_EQ(ArgumentsOfCommandTail(tail.c_str()), vector + 1);

    const std::u16string others[] = {tail.substr(0, tail.size() - 1), tail + u" x", u"prog"};
    for (const std::u16string& other : others) {
        errno = 0;
        EXPECT_EQ(ArgumentsOfCommandTail(other.c_str()), nullptr);
        EXPECT_EQ(errno, EINVAL);
    }
    errno = 0;
    EXPECT_EQ(ArgumentsOfCommandTail(u""), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST(CommandLine, HostileArgumentsRoundTrip) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 5000; ++round) {
        Arguments arguments = HostileArguments(random);
        Arguments withName = arguments;
        withName.insert(withName.begin(), "wexel");
        Arguments back = Split(Line(withName));
        ASSERT_FALSE(back.empty());
        back.erase(back.begin());
        ASSERT_EQ(back, arguments) << "round " << round << ": " << Shown(arguments);
    }
}

TEST(CommandLine, TailSkipsExactlyTheNameWhateverItHolds) {
    // Whatever bytes wexel's own name holds, the tail is the arguments as
    // they would follow any plain name.
    std::mt19937 random(8122026);
    for (int round = 0; round < 5000; ++round) {
        Arguments arguments = HostileArguments(random);
        std::string name = HostileArgument(random);
        Arguments named = arguments, plain = arguments;
        named.insert(named.begin(), name);
        plain.insert(plain.begin(), "wexel");
        std::u16string namedLine = Line(named), plainLine = Line(plain);
        std::u16string namedTail = GetCommandTail(namedLine.c_str());
        std::u16string plainTail = GetCommandTail(plainLine.c_str());
        ASSERT_TRUE(namedTail == plainTail)
            << "round " << round << ": name " << Shown({name}) << Shown(arguments);
        // And the whole line reads back by the argument rules, name and all.
        ASSERT_EQ(Split(namedLine), named) << "round " << round << ": " << Shown(named);
    }
}

}  // namespace
