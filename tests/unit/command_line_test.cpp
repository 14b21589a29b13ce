// Linux argument vectors through one Windows command line and back: what
// wexel receives must reach its child byte for byte.
#include "command_line.h"
#include "command_tail.h"
#include "layer.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Arguments;

std::u16string Line(const Arguments& arguments) {
    std::vector<char*> vector;
    for (const std::string& argument : arguments)
        vector.push_back(const_cast<char*>(argument.c_str()));
    LPWSTR line = BuildCommandLine(static_cast<int>(vector.size()), vector.data());
    EXPECT_NE(line, nullptr);
    std::u16string copy(line);
    free(line);
    return copy;
}

Arguments Split(const std::u16string& line) {
    char** vector = SplitCommandLine(line.c_str());
    EXPECT_NE(vector, nullptr);
    Arguments arguments;
    for (char** argument = vector; argument != nullptr && *argument != nullptr; ++argument)
        arguments.push_back(*argument);
    free(vector);
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

// Where the C library does not hand the arguments over at start-up, they
// are read as the kernel keeps them: each ended by a NUL, the last one
// perhaps cut short by a read that did not get them all.
TEST(CommandLine, ArgumentBlockKeepsEveryArgumentEmptyOnesToo) {
    const std::string blocks[] = {std::string("wexel\0a b\0\0", 11), std::string("x\0yz", 4)};
    const Arguments expected[] = {{"wexel", "a b", ""}, {"x", "yz"}};
    for (int i = 0; i < 2; ++i) {
        int count = -1;
        char** vector = ReadArgumentBlock(blocks[i].data(), blocks[i].size(), &count);
        ASSERT_NE(vector, nullptr);
        Arguments read(vector, vector + count);
        EXPECT_EQ(read, expected[i]);
        EXPECT_EQ(vector[count], nullptr);
        free(vector);
    }
}

TEST(CommandLine, SplitRejectsUnitsNoByteCanCarry) {
    errno = 0;
    EXPECT_EQ(SplitCommandLine(u"prog \u20ac"), nullptr);
    EXPECT_EQ(errno, EILSEQ);
}

TEST(CommandLine, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(Line({"wexel", "make", "-j2"}), u"wexel make -j2");
    EXPECT_EQ(Line({"wexel", "", "a b", "a\"b", "a\\b", "a\\\\\"b", "tail\\ \\"}),
              u"wexel \"\" \"a b\" \"a\\\"b\" a\\b \"a\\\\\\\\\\\"b\" \"tail\\ \\\\\"");
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
        ASSERT_EQ(Split(namedTail), arguments) << "round " << round << ": " << Shown(arguments);
    }
}

}  // namespace
