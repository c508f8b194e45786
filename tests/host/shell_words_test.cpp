// Word splitting of 'shell' arguments.
#include "host/shell_words.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct SplitCase {
    const char* text;
    std::vector<std::string> words;
};

TEST(ShellWords, SplitsAsAShellDoes) {
    const SplitCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"a b  c", {"a", "b", "c"}},
        {"  lead trail  ", {"lead", "trail"}},
        {"\"two words\" x", {"two words", "x"}},
        {"'single \"kept\" $HOME'", {"single \"kept\" $HOME"}},
        {"\"a \\\"q\\\" \\\\ \\$ \\x\"", {"a \"q\" \\ $ \\x"}},
        {"back\\ slash", {"back slash"}},
        {"C:\\\\dir\\\\file", {"C:\\dir\\file"}},
        {"ab\"c d\"'e f'g", {"abc de fg"}},
        {"\"\" ''", {"", ""}},
        {"日本 \"語 の\"", {"日本", "語 の"}},
        {"$HOME *.txt ~", {"$HOME", "*.txt", "~"}},
        {"line\\\njoined", {"linejoined"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> out;
        EXPECT_TRUE(SplitShellWords(c.text, out)) << c.text;
        EXPECT_EQ(out, c.words) << c.text;
    }
}

TEST(ShellWords, UnterminatedQuotingFailsAndKeepsOutput) {
    for (const char* bad : {"\"open", "'open", "a \"b", "trailing\\", "\"esc\\\""}) {
        std::vector<std::string> out{"kept"};
        EXPECT_FALSE(SplitShellWords(bad, out)) << bad;
        EXPECT_EQ(out, std::vector<std::string>{"kept"}) << bad;
    }
}

}  // namespace
}  // namespace velmora
