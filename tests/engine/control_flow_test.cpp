// Labels, jumps, calls, conditions, blocks and loops.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace velmora {
namespace {

using test::EngineHarness;
using Texts = std::vector<std::string>;

TEST(ControlFlow, GotoWithOffsetAndExactLabels) {
    EngineHarness h;
    h.run(
        "[main]\ngoto,[a],2\n[a]\ntext,,skipped\ntext,,skipped too\ntext,,here\n"
        "Goto,[b] \n[b] \n");
    EXPECT_EQ(h.texts(), Texts{"here"});
    // The command word is lower-cased; the trimmed 'Goto,[b] ' asks for "[b]", and the
    // label line "[b] " with its trailing space is not that.
    EXPECT_EQ(h.messages(), Texts{"コードエラー：[b] が見つかりません"});
}

TEST(ControlFlow, OffsetsOutOfRange) {
    const struct {
        const char* offset;
        Texts texts;
        Texts messages;
    } cases[] = {
        // Above the top of the file: from the first line on.
        {"-100", {"first", "again"}, {}},
        // Far below the end: the end of the script, without overflow.
        {"2147483647", {"first"}, {"コードエラー：次のコードが見つかりません"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        EngineHarness h;
        h.run(std::string("[main]\nif,same,%var2%,\ntext,,first\nset,var2,1\nelse\ntext,,"
                          "again\npause\nendif\n") +
              "[a]\ngoto,[a]," + c.offset + "\n");
        EXPECT_EQ(h.texts(), c.texts);
        EXPECT_EQ(h.messages(), c.messages);
    }
}

TEST(ControlFlow, MissingLabelStops) {
    EngineHarness h;
    h.run("[main]\ngoto,[a]\n[a] \ntext,,never\n");
    EXPECT_EQ(h.messages(), Texts{"コードエラー：[a] が見つかりません"});
    EXPECT_TRUE(h.texts().empty());
}

TEST(ControlFlow, Conditions) {
    struct Case {
        const char* cond;
        bool value;
    } cases[] = {
        {"cmp,10,>,9", true},  {"same,10,010", false},   {"find,abc,", true},
        {"cmp,abc,=,0", true}, {"diff,a,b", true},       {"!find,abc,d", true},
        {"find,abc,B", false}, {"cmp,1.5,<=,1.5", true}, {"cmp,2,!=,2", false},
        {"CMP,3,>=,4", false}, {"cmp,-1,<,0", true},     {"same,a,a", true},
    };
    for (const auto& c : cases) {
        EngineHarness h;
        h.run(std::string("[main]\nif,") + c.cond + "\ntext,,yes\nelse\ntext,,no\nendif\npause\n");
        EXPECT_EQ(h.texts(), Texts{c.value ? "yes" : "no"}) << c.cond;
        EXPECT_TRUE(h.messages().empty()) << c.cond;
    }
}

TEST(ControlFlow, ConditionErrors) {
    struct Case {
        const char* cond;
        const char* message;
    } cases[] = {
        {"like,a,b", "コードエラー：不明なifコマンド like (line:2)"},
        {"cmp,1,2", "コードエラー：パラメーターが足りません if (line:2)"},
        {"cmp,1,=>,2", "コードエラー：不明な比較コマンド => (line:2)"},
    };
    for (const auto& c : cases) {
        EngineHarness h;
        h.run(std::string("[main]\nif,") + c.cond + "\ntext,,body\nendif\n");
        EXPECT_EQ(h.messages(), Texts{c.message}) << c.cond;
        EXPECT_TRUE(h.texts().empty());
    }
}

TEST(ControlFlow, ElseifChainsAndNesting) {
    EngineHarness h;
    h.run(
        "[main]\nset,x,2\n"
        "if,same,%x%,1\ntext,,one\n  if,same,a,a\n  text,,inner\n  endif\n"
        "elseif,same,%x%,2\ntext,,two\nelseif,same,%x%,2\ntext,,again\nelse\ntext,,other\nendif\n"
        "text,,after\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"two", "after"}));
    EXPECT_TRUE(h.messages().empty());
}

TEST(ControlFlow, StrayBlockEnds) {
    struct Case {
        const char* body;
        const char* message;
    } cases[] = {
        {"if,same,a,a\nelse\nendif\nendif\n", "コードエラー：if が無いendifコマンドです(line:5)"},
        {"else\n", "コードエラー：if が無いelseコマンドです(line:2)"},
        {"endwhile\n", "コードエラー：while が無いendwhileコマンドです(line:2)"},
    };
    for (const auto& c : cases) {
        EngineHarness h;
        h.run(std::string("[main]\n") + c.body);
        EXPECT_EQ(h.messages(), Texts{c.message}) << c.body;
    }
}

TEST(ControlFlow, WhileCountsAndSkipsNestedLoops) {
    EngineHarness h;
    h.run(
        "[main]\nset,var2,0\nwhile,cmp,%var2%,<,3\ncalculate,%var2%+1\nset,var2,%var1%\n"
        "text,,%var2%\nendwhile\n"
        "while,same,a,b\nwhile,same,a,a\ntext,,never\nendwhile\nendwhile\ntext,,done\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"1", "2", "3", "done"}));
    EXPECT_TRUE(h.messages().empty());
}

TEST(ControlFlow, GotoOutOfALoopForever) {
    EngineHarness h;
    // Each pass leaves the loop by goto; the loop stack is cleared, so 60 passes work.
    h.run(
        "[main]\nset,var2,0\n[top]\nwhile,same,a,a\ncalculate,%var2%+1\nset,var2,%var1%\n"
        "if,cmp,%var2%,>=,60\ngoto,[out]\nendif\ngoto,[top]\nendwhile\n[out]\ntext,,%var2%"
        "\npause\n");
    EXPECT_EQ(h.texts(), Texts{"60"});
    EXPECT_TRUE(h.messages().empty());
}

TEST(ControlFlow, FiftyFirstNestedWhileIsRefused) {
    std::string script = "[main]\n";
    for (int i = 0; i < 51; ++i) script += "while,same,a,a\n";
    EngineHarness h;
    h.run(script);
    EXPECT_EQ(h.messages(), Texts{"コードエラー：whileの入れ子が50を超えました(line:52)"});
}

TEST(ControlFlow, SubcodeReturnsAndNestsFiftyDeep) {
    EngineHarness h;
    h.run("[main]\nsubcode,[sub]\ntext,,back\nend\ntext,,never\n[sub]\ntext,,in sub\nend\n");
    EXPECT_EQ(h.texts(), (Texts{"in sub", "back"}));
    EXPECT_TRUE(h.messages().empty());  // the last end, with no call open, waits like pause

    EngineHarness deep;
    deep.run(
        "[main]\nset,var2,0\n[f]\ncalculate,%var2%+1\nset,var2,%var1%\n"
        "text,,%var2%\nsubcode,[f]\n");
    EXPECT_EQ(deep.texts().size(), 51u);
    EXPECT_EQ(deep.messages(),
              Texts{"コードエラー：サブルーチンの呼び出しが50を超えました(line:7)"});
}

TEST(ControlFlow, GotoInsideASubroutineAbandonsIt) {
    EngineHarness h;
    h.run(
        "[main]\nsubcode,[sub]\ntext,,never\n[sub]\ngoto,[x]\n[x]\ntext,,x\nend\ntext,,also "
        "never\n");
    EXPECT_EQ(h.texts(), Texts{"x"});
}

TEST(ControlFlow, BookmarkIsWrittenAndUsedByTheNextStart) {
    EngineHarness h;
    h.run(
        "[main]\nbookmark,[later],1\ntext,,main\npause\n[later]\ntext,,skipped\ntext,,"
        "resumed\npause\n");
    EXPECT_EQ(h.texts(), Texts{"main"});
    EXPECT_NE(h.dir.read("variable.txt").find("bookmark=[later],1"), std::string::npos);

    EngineHarness again;
    again.dir.writeBytes("variable.txt", h.dir.read("variable.txt"));
    again.run("[main]\ntext,,main\npause\n[later]\ntext,,skipped\ntext,,resumed\npause\n",
              {"bookmark"});
    EXPECT_EQ(again.texts(), Texts{"resumed"});
}

TEST(ControlFlow, BookmarkArgumentWithEmptyBookmarkStartsAtBegin) {
    EngineHarness h;
    h.run("[main]\ntext,,main\npause\n", {"bookmark"});
    EXPECT_EQ(h.texts(), Texts{"main"});
}

}  // namespace
}  // namespace velmora
