// The line reader: classes of lines, splitting, expansion and escapes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine_harness.h"
#include "file_notice.h"

namespace velmora {
namespace {

using test::EngineHarness;

// Opens code.txt and reads one line at a time.
struct Reader : EngineHarness {
    void open(const std::string& script) {
        dir.write("code.txt", script);
        engine.LoadSettings();
        ASSERT_TRUE(engine.OpenScript(""));
    }
    std::string param(int n) { return Cp932ToUtf8(engine.line.p(n)); }
};

TEST(Reader, SkipsBlankCommentAndLabelLines) {
    Reader r;
    r.open("\n  ;note\n#note\n[main]\n{\n}\n\"\n   \t\nText,clear,Hi\n");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.engine.line.command, "text");
    EXPECT_EQ(r.engine.line.paramCount, 2);
    EXPECT_EQ(r.param(1), "clear");
    EXPECT_EQ(r.param(2), "Hi");
    EXPECT_EQ(r.engine.line.lineNumber, 9);
}

TEST(Reader, AllSkippedLinesEndTheScript) {
    Reader r;
    r.open("[main]\n;x\n\n");
    EXPECT_FALSE(r.engine.ReadNextLine());
    EXPECT_EQ(r.messages(), std::vector<std::string>{"コードエラー：次のコードが見つかりません"});
    EXPECT_EQ(r.engine.line.lineNumber, 3);
}

TEST(Reader, SplitsAtCommasWithoutTrimming) {
    Reader r;
    r.open("text, clear\nset,name,\na,1,2,3,4,5,6,7,8,9,10,11,12,13,14\nsolo\n");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.param(1), " clear");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.engine.line.paramCount, 2);
    EXPECT_EQ(r.param(2), "");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.engine.line.paramCount, 12);
    EXPECT_EQ(r.param(11), "11");
    EXPECT_EQ(r.param(12), "12,13,14");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.engine.line.command, "solo");
    EXPECT_EQ(r.engine.line.paramCount, 0);
    // Parameters above the count keep what earlier lines left.
    EXPECT_EQ(r.param(12), "12,13,14");
}

TEST(Reader, Escapes) {
    struct Case {
        const char* line;
        const char* stored;
    } cases[] = {
        {"set,msg,a/comb", "a,b"},  {"set,msg,100/per", "100%"}, {"set,msg,x/_com", "x/com"},
        {"set,msg,a/retb", "a\nb"}, {"set,msg,/per%x%", "%"},    {"set,msg,50% off", "50% off"},
    };
    for (const auto& c : cases) {
        EngineHarness h;
        h.run(std::string("[main]\n") + c.line + "\npause\n");
        EXPECT_EQ(h.var("msg"), c.stored) << c.line;
    }
}

TEST(Reader, QuotedLinesAreExpandedBeforeTheyAreSplit) {
    EngineHarness h;
    h.run("[main]\nset,cmd,text/comclear/comHi\n\"%cmd%\n%cmd%\n");
    EXPECT_EQ(h.var("cmd"), "text,clear,Hi");
    EXPECT_EQ(h.fe.texts, std::vector<std::string>{"clear|Hi"});
    EXPECT_EQ(h.messages(),
              std::vector<std::string>{"コードエラー：不明なコード text,clear,hi (line:4)"});
}

TEST(Reader, ReferencesExpandWithinLimits) {
    EngineHarness h;
    std::string many;  // a value of a hundred references to itself
    for (int i = 0; i < 100; ++i) many += "/permany/per";
    h.run(
        "[main]\nset,a,/perb/per\nset,b,[/perc/per]\nset,c,deep\nset,self,x/perself/per\n"
        "set,twice,/pertwice/per/pertwice/per\ntext,,%a%|%self%|100% sure\ntext,,%twice%\n"
        "text,,%VAR1%%nosuch%.\nset,many," +
        many + "\ntext,,%many%\npause\n");
    std::vector<std::string> t = h.texts();
    ASSERT_EQ(t.size(), 4u);
    // a -> %b% -> [%c%] -> [deep]; self stops after 30 passes; "100% sure" is left alone.
    EXPECT_EQ(t[0].substr(0, 7), "[deep]|");
    EXPECT_NE(t[0].find("%self%"), std::string::npos);
    EXPECT_NE(t[0].find("|100% sure"), std::string::npos);
    // A value that doubles at every pass, or grows a hundredfold, stops short of 1 MiB.
    EXPECT_LE(t[1].size(), 1u << 20);
    EXPECT_GT(t[1].size(), 1u << 19);
    EXPECT_EQ(t[2], ".");
    EXPECT_LE(t[3].size(), 1u << 20);
}

TEST(Reader, SeesTheFileAsItIsOnDisk) {
    Reader r;
    r.open("[main]\ntext,,one\ntext,,two\n");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.param(2), "one");
    test::FileNoticeProbe notice(r.dir.file("code.txt"));
    r.dir.write("code.txt", "[main]\ntext,,one\ntext,,changed\n");
    ASSERT_TRUE(notice.arrived());  // the change notice is asynchronous
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.param(2), "changed");

    // Through a link, an edit of the file it points to is seen too.
    Reader linked;
    linked.dir.mkdir("real");
    linked.dir.write("real/code.txt", "[main]\ntext,,one\ntext,,two\n");
    ASSERT_EQ(::symlink("real/code.txt", linked.dir.file("code.txt").c_str()), 0);
    linked.engine.LoadSettings();
    ASSERT_TRUE(linked.engine.OpenScript(""));
    ASSERT_TRUE(linked.engine.ReadNextLine());
    linked.dir.write("real/code.txt", "[main]\ntext,,one\ntext,,edited there\n");
    ASSERT_TRUE(linked.engine.ReadNextLine());
    EXPECT_EQ(linked.param(2), "edited there");
}

// A FIFO or a folder named code.txt: opening never blocks and fails; one that replaces
// the running script leaves its lines as they were.
TEST(Reader, OnlyARegularFileIsAScript) {
    for (const char* kind : {"fifo", "folder"}) {
        SCOPED_TRACE(kind);
        Reader r;
        const std::string path = r.dir.file("code.txt");
        auto makeOther = [&] {
            ASSERT_EQ(std::string(kind) == "fifo" ? ::mkfifo(path.c_str(), 0600)
                                                  : ::mkdir(path.c_str(), 0700),
                      0);
        };
        makeOther();
        r.engine.LoadSettings();
        EXPECT_FALSE(r.engine.OpenScript(""));
        EXPECT_EQ(r.messages().size(), 1u);
        ::remove(path.c_str());

        r.open("[main]\ntext,,one\ntext,,two\n");
        ASSERT_TRUE(r.engine.ReadNextLine());
        test::FileNoticeProbe notice(path);
        ::remove(path.c_str());
        makeOther();
        ASSERT_TRUE(notice.arrived());
        ASSERT_TRUE(r.engine.ReadNextLine());
        EXPECT_EQ(r.param(2), "two");
    }
}

TEST(Reader, WindowsTextModeLineEnds) {
    Reader r;
    r.dir.writeBytes("code.txt", "[main]\r\ntext,,a\r\ntext,,b\r\n\x1atext,,after-eof\r\n");
    r.engine.LoadSettings();
    ASSERT_TRUE(r.engine.OpenScript(""));
    ASSERT_TRUE(r.engine.FindLabel("[main]", 0));
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.param(2), "a");
    ASSERT_TRUE(r.engine.ReadNextLine());
    EXPECT_EQ(r.param(2), "b");
    EXPECT_FALSE(r.engine.ReadNextLine());
}

TEST(Reader, TooFewParameters) {
    EngineHarness h;
    h.run("[main]\nset,x\ntext,,never\n");
    EXPECT_EQ(h.messages(),
              std::vector<std::string>{"コードエラー：パラメーターが足りません set (line:2)"});
    EXPECT_TRUE(h.fe.texts.empty());
}

TEST(Reader, OpenErrorNamesTheFullPath) {
    EngineHarness h;
    h.engine.LoadSettings();
    EXPECT_FALSE(h.engine.OpenScript("missing.txt"));
    EXPECT_EQ(h.messages(),
              std::vector<std::string>{"コードファイルオープンエラー　ファイルが開けません " +
                                       h.dir.programPath() + "missing.txt"});
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(Reader, ACommandThatRewritesTheScriptIsSeenAtTheNextLine) {
    test::EngineHarness h;
    // A subsystem's command (like fileout) rewriting code.txt in this very process.
    h.engine.addCommands({{"rewrite", 0, [&](Engine&) {
                               h.dir.write("code.txt", "[main]\nrewrite\ntext,,new\npause\n");
                           }}});
    h.run("[main]\nrewrite\ntext,,old\npause\n");
    EXPECT_EQ(h.texts(), std::vector<std::string>{"new"});
}

}  // namespace
}  // namespace velmora

namespace velmora {
namespace {

TEST(Reader, Utf8ScriptWithTheMarkRunsLikeItsShiftJisTwin) {
    const std::string script =
        "[main]\nset,名前,太郎\ntext,clear,こんにちは %名前%\nif,same,%名前%,太郎\n"
        "goto,[次]\nendif\n[次]\ntext,,次へ\npause\n";
    test::EngineHarness sjis, utf8;
    sjis.run(script);
    utf8.dir.writeBytes("code.txt", "\xEF\xBB\xBF" + script);
    utf8.engine.LoadSettings();
    utf8.engine.StartScript();
    EXPECT_EQ(utf8.texts(), sjis.texts());
    EXPECT_EQ(utf8.texts(), (std::vector<std::string>{"こんにちは 太郎", "次へ"}));
    EXPECT_EQ(utf8.dir.read("variable.txt"), sjis.dir.read("variable.txt"));  // still CP932
}

TEST(Reader, Utf8LinesKeepTheirNumbersAndMarkUnconvertibleCharacters) {
    test::EngineHarness h;
    h.dir.writeBytes("code.txt", "\xEF\xBB\xBF[main]\r\n\r\ntext,,😀 ok\r\nbad,1\r\n");
    h.engine.LoadSettings();
    h.engine.StartScript();
    EXPECT_EQ(h.texts(), std::vector<std::string>{"? ok"});
    EXPECT_EQ(h.messages(), std::vector<std::string>{"コードエラー：不明なコード bad (line:4)"});
}

}  // namespace
}  // namespace velmora
