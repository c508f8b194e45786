// The variable.txt reader and writer.
#include "engine/ini_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine_harness.h"
#include "file_faults.h"
#include "file_notice.h"
#include "script_dir.h"

namespace velmora {
namespace {

using test::ScriptDir;

TEST(IniFile, ReadsWithProfileSemantics) {
    ScriptDir d;
    d.writeBytes("v.ini",
                 "; comment\r\n[Default]\r\n Title = \"quoted\" \r\nKEY=  spaced  \r\nempty=\r\n"
                 "[dynamic]\r\nscore=10\r\nscore=20\r\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    std::string v;
    ASSERT_TRUE(ini.get("default", "title", v));
    EXPECT_EQ(v, "quoted");
    ASSERT_TRUE(ini.get("DEFAULT", "key", v));
    EXPECT_EQ(v, "spaced");
    ASSERT_TRUE(ini.get("default", "empty", v));
    EXPECT_EQ(v, "");
    ASSERT_TRUE(ini.get("dynamic", "score", v));
    EXPECT_EQ(v, "10");
    EXPECT_FALSE(ini.get("dynamic", "title", v));
    EXPECT_FALSE(ini.get("nosuch", "x", v));
}

TEST(IniFile, ValuesAreCutTo999Bytes) {
    ScriptDir d;
    d.writeBytes("v.ini", "[s]\nk=" + std::string(1500, 'x') + "\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    std::string v;
    ASSERT_TRUE(ini.get("s", "k", v));
    EXPECT_EQ(v.size(), 999u);
}

TEST(IniFile, WritesCreateReplaceAndKeepTheRest) {
    ScriptDir d;
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_EQ(IniWrite::Saved, ini.set("dynamic", "a", "1"));
    ASSERT_EQ(IniWrite::Saved, ini.set("default", "title", "T"));
    ASSERT_EQ(IniWrite::Saved, ini.set("dynamic", "b", "2"));
    ASSERT_EQ(IniWrite::Saved, ini.set("Dynamic", "A", "3"));
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\r\na=3\r\nb=2\r\n[default]\r\ntitle=T\r\n");
}

TEST(IniFile, KeepsLineEndsAndCommentsOfAnExistingFile) {
    ScriptDir d;
    d.writeBytes("v.ini", "# mine\n[dynamic]\nx=1\n\n[default]\nbegin=[main]\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_EQ(IniWrite::Saved, ini.set("dynamic", "y", "2"));
    EXPECT_EQ(d.read("v.ini"), "# mine\n[dynamic]\nx=1\ny=2\n\n[default]\nbegin=[main]\n");
}

TEST(IniFile, SeesChangesMadeByOtherPrograms) {
    ScriptDir d;
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ini.set("dynamic", "x", "1");
    std::string v;
    ASSERT_TRUE(ini.get("dynamic", "x", v));
    test::FileNoticeProbe notice(d.file("v.ini"));
    d.writeBytes("v.ini", "[dynamic]\nx=changed-by-hand\n");
    ASSERT_TRUE(notice.arrived());  // the change notice is asynchronous
    ASSERT_TRUE(ini.get("dynamic", "x", v));
    EXPECT_EQ(v, "changed-by-hand");
}

// A failing call either leaves the old file whole or the save went another way and the
// new one is complete; either way the value holds for this run and no temporary is left.
TEST(IniFile, AFailingCallKeepsTheOldFileOrSavesTheNewOne) {
    const struct Row {
        const char* call;
        IniWrite result;
    } rows[] = {
        {"open", IniWrite::Saved},  // no temporary file: written in place
        {"write", IniWrite::NotSaved},
        {"close", IniWrite::NotSaved},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        ScriptDir d;
        const std::string old = "[dynamic]\r\nx=1\r\n";
        d.writeBytes("v.ini", old);
        IniFile ini(test::FaultyFileCalls());
        ini.setPath(d.file("v.ini"));
        {
            test::FileFault fault(row.call, 1);
            EXPECT_EQ(ini.set("dynamic", "x", "2"), row.result);
        }
        EXPECT_EQ(d.read("v.ini"), row.result == IniWrite::Saved ? "[dynamic]\r\nx=2\r\n" : old);
        EXPECT_EQ(d.entries(), std::vector<std::string>{"v.ini"});
        std::string v;
        ASSERT_TRUE(ini.get("dynamic", "x", v));
        EXPECT_EQ(v, "2");
    }
}

TEST(IniFile, WritesInPlaceWhereNoFileCanBeCreated) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\nlonger=line that goes\n");
    struct stat before, after;
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &before), 0);
    test::RefusedOpens noTemporary(".tmp" + std::to_string(::getpid()));
    IniFile ini(noTemporary.calls());
    ini.setPath(d.file("v.ini"));
    EXPECT_EQ(ini.set("dynamic", "longer", "short"), IniWrite::Saved);
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=1\nlonger=short\n");
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(IniFile, AnUnwritableFileIsKeptAndTheValueHoldsForThisRun) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\n");
    test::RefusedOpens nothing("");
    IniFile ini(nothing.calls());
    ini.setPath(d.file("v.ini"));
    EXPECT_EQ(ini.set("dynamic", "x", "2"), IniWrite::NotSaved);
    std::string v;
    ASSERT_TRUE(ini.get("dynamic", "x", v));
    EXPECT_EQ(v, "2");
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=1\n");
}

TEST(IniFile, AFileThatCannotBeReadIsNeverOverwritten) {
    ScriptDir d;
    std::filesystem::create_directory(d.file("v.ini"));
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    EXPECT_EQ(ini.set("dynamic", "x", "1"), IniWrite::NotSaved);
    EXPECT_TRUE(std::filesystem::is_directory(d.file("v.ini")));
}

TEST(IniFile, LinkedFileIsWrittenThroughTheLink) {
    ScriptDir d;
    std::filesystem::create_directory(d.file("real"));
    d.writeBytes("real/v.ini", "[dynamic]\nx=1\n");
    std::filesystem::create_symlink("real/v.ini", d.file("v.ini"));
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_EQ(ini.set("dynamic", "x", "2"), IniWrite::Saved);
    EXPECT_TRUE(std::filesystem::is_symlink(d.file("v.ini")));
    EXPECT_EQ(d.read("real/v.ini"), "[dynamic]\nx=2\n");
    std::string v;
    ASSERT_TRUE(ini.get("dynamic", "x", v));
    EXPECT_EQ(v, "2");
}

TEST(IniFile, ValuesNeverBreakTheirLine) {
    const struct {
        const char* name;
        std::string value;
        std::string stored;  // as the line holds it
    } cases[] = {
        {"LF", "hello\n[default]\nbegin=[evil]", "hello/ret[default]/retbegin=[evil]"},
        {"CR LF", "a\r\n[x]\r\nb=c", "a\r/ret[x]\r/retb=c"},
        {"CR", "a\r[x]\rb=c", "a\r[x]\rb=c"},
        {"NUL", std::string("a\0b\n[x]", 7), std::string("a\0b/ret[x]", 10)},
        {"line breaks at the ends", "\nx\n", "/retx/ret"},
        {"slashes that look like escapes", "/ret/_/re/\n", "/_ret/__/re//ret"},
        {"plain slashes stay", "c:/public_html/x", "c:/public_html/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptDir d;
        IniFile ini;
        ini.setPath(d.file("v.ini"));
        ASSERT_EQ(ini.set("dynamic", "memo", c.value), IniWrite::Saved);
        EXPECT_EQ(d.read("v.ini"), "[dynamic]\r\nmemo=" + c.stored + "\r\n");
        IniFile next;  // the next start of the program
        next.setPath(d.file("v.ini"));
        std::string v;
        ASSERT_TRUE(next.get("dynamic", "memo", v));
        EXPECT_EQ(v, c.value);
        EXPECT_FALSE(next.get("default", "begin", v));
    }
}

TEST(IniFile, KeyNames) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\n\x83\x41=katakana a\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    std::string v;
    // The second byte of a double-byte character is not a letter: ア (83 41) is not ヂ (83 61).
    EXPECT_FALSE(ini.get("dynamic", "\x83\x61", v));
    ASSERT_EQ(ini.set("dynamic", "\x83\x61", "di"), IniWrite::Saved);
    ASSERT_TRUE(ini.get("dynamic", "\x83\x41", v));
    EXPECT_EQ(v, "katakana a");
    // Blanks around a name are trimmed on write as on read: one key, updated in place.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ini.set("dynamic", " Score ", "5"), IniWrite::Saved);
    ASSERT_TRUE(ini.get("dynamic", "score", v));
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\n\x83\x41=katakana a\n\x83\x61=di\nScore=5\n");
    // Names that would not read back as themselves are refused and change nothing.
    const std::string before = d.read("v.ini");
    for (const char* bad : {"a\nb", "a\rb", "a=b", "[default]", " ;note", "=", "[x"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IniFile::KeyReadsBack(bad));
        EXPECT_EQ(ini.set("dynamic", bad, "x"), IniWrite::BadKey);
    }
    EXPECT_EQ(d.read("v.ini"), before);
    EXPECT_TRUE(IniFile::KeyReadsBack("a[b];c"));
}

TEST(IniFile, WriteReplacesTheFileAtomically) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\n");
    struct stat before, after;
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &before), 0);
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_EQ(IniWrite::Saved, ini.set("dynamic", "x", "2"));
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &after), 0);
    // A new file took the old one's place by rename: no moment of a half-written file.
    EXPECT_NE(before.st_ino, after.st_ino);
    int leftovers = 0;
    for (auto& e : std::filesystem::directory_iterator(d.path()))
        leftovers += e.path().filename() != "v.ini";
    EXPECT_EQ(leftovers, 0);
}

TEST(SettingsStore, ScriptTextCannotRewriteTheSettings) {
    test::EngineHarness h;
    h.run(
        "[main]\nset,memo,hello/ret[default]/retbegin=[evil]\nset,score ,1\nset,score ,2\n"
        "set,a=b,x\ntext,,after\npause\n");
    EXPECT_EQ(h.messages(),
              std::vector<std::string>{
                  "変数エラー：a=b は名前として保存できません（改行と = を含む名前、[ "
                  "か ; で始まる名前は使えません）(line:5)"});
    EXPECT_EQ(h.texts(), std::vector<std::string>{"after"});
    EXPECT_EQ(h.dir.read("variable.txt"),
              "[dynamic]\r\nmemo=hello/ret[default]/retbegin=[evil]\r\nscore=2\r\n");

    test::EngineHarness next;  // the next start
    next.dir.writeBytes("variable.txt", h.dir.read("variable.txt"));
    next.run("[main]\ntext,,%memo%\npause\n[evil]\ntext,,evil\npause\n");
    EXPECT_EQ(next.texts(), std::vector<std::string>{"hello\n[default]\nbegin=[evil]"});
}

TEST(SettingsStore, AnUnwritableFileIsSaidOnceAndTheRunGoesOn) {
    test::RefusedOpens nothing("");
    test::EngineHarness h(nothing.calls());
    h.run("[main]\nset,k,1\nset,k,2\ntext,,%k%\npause\n");
    EXPECT_EQ(h.texts(), std::vector<std::string>{"2"});
    EXPECT_EQ(h.messages(),
              std::vector<std::string>{"設定ファイルエラー：" + h.dir.programPath() +
                                       "variable.txt に書き込めません。変更はこの実行の間"
                                       "だけ保たれます"});
}

}  // namespace
}  // namespace velmora
