// The variable.txt reader and writer.
#include "engine/ini_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
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
                 "[dynamic]\r\nscore=10\r\nscore=20\r\npath2=c:/_public_html\r\n"
                 "webroot= /srv/www/retro_site\r\nmemo=a/retb/n\r\n");
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
    // Only what the program encoded is decoded: what a person wrote reads as written.
    for (auto [key, value] : {std::pair{"path2", "c:/_public_html"},
                              {"webroot", "/srv/www/retro_site"},
                              {"memo", "a/retb/n"}}) {
        ASSERT_TRUE(ini.get("dynamic", key, v));
        EXPECT_EQ(v, value);
    }
}

TEST(IniFile, ValuesAreCutTo999Bytes) {
    ScriptDir d;
    // "あ" is 82 A0: after 998 single bytes it would be cut in two.
    std::string kana;
    for (int i = 0; i < 600; ++i) kana += "\x82\xA0";
    d.writeBytes("v.ini", "[s]\nk=" + std::string(1500, 'x') + "\nj=x" + kana + "\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    std::string v;
    ASSERT_TRUE(ini.get("s", "k", v));
    EXPECT_EQ(v.size(), 999u);
    ASSERT_TRUE(ini.get("s", "j", v));
    EXPECT_EQ(v, "x" + kana.substr(0, 998));
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
    // A new file is as private as the user's umask asks.
    mode_t mask = ::umask(077);
    IniFile other;
    other.setPath(d.file("private.ini"));
    ASSERT_EQ(IniWrite::Saved, other.set("dynamic", "a", "1"));
    ::umask(mask);
    struct stat st;
    ASSERT_EQ(::stat(d.file("private.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(IniFile, KeepsLineEndsAndCommentsOfAnExistingFile) {
    ScriptDir d;
    d.writeBytes("v.ini", "# mine\n[dynamic]\nx=1\n\n[default]\nbegin=[main]\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_EQ(IniWrite::Saved, ini.set("dynamic", "y", "2"));
    EXPECT_EQ(d.read("v.ini"), "# mine\n[dynamic]\nx=1\ny=2\n\n[default]\nbegin=[main]\n");
    // A UTF-8 byte-order mark does not hide the first section and stays where it was.
    d.writeBytes("bom.ini", "\xEF\xBB\xBF[dynamic]\nx=1\n");
    IniFile bom;
    bom.setPath(d.file("bom.ini"));
    std::string v;
    ASSERT_TRUE(bom.get("dynamic", "x", v));
    EXPECT_EQ(v, "1");
    ASSERT_EQ(IniWrite::Saved, bom.set("dynamic", "x", "2"));
    EXPECT_EQ(d.read("bom.ini"), "\xEF\xBB\xBF[dynamic]\nx=2\n");
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

// Every call a save makes, made to fail or to kill the program before it is made, on both
// ways of saving and for a text that grows and one that shrinks: afterwards, and after the
// next start, the file reads as the old one or the new one, whole, and nothing is left
// beside it. A result of Saved means the new one; an interrupted call is made again.
TEST(IniFile, EveryFailingCallKeepsTheOldFileOrSavesTheNewOne) {
    const std::string old = "[dynamic]\r\nx=1234567890\r\nkeep=this\r\n";
    const struct {
        const char* call;
        int nth;
    } calls[] = {{"open", 1},  {"open", 2},  {"write", 1},    {"reserve", 1}, {"ftruncate", 1},
                 {"fsync", 1}, {"close", 1}, {"exchange", 1}, {"rename", 1},  {"unlink", 1}};
    const int effects[] = {ENOSPC, EIO, EINTR, test::FileFault::kKill};
    for (const char* way : {"replace", "in place"}) {
        for (const char* value : {"2", "a longer value than before"}) {
            const std::string fresh = "[dynamic]\r\nx=" + std::string(value) + "\r\nkeep=this\r\n";
            for (const auto& call : calls) {
                for (int effect : effects) {
                    SCOPED_TRACE(std::string(way) + ", " + value + ": " + call.call + " #" +
                                 std::to_string(call.nth) + ", effect " + std::to_string(effect));
                    ScriptDir d;
                    d.writeBytes("v.ini", old);
                    std::optional<test::RefusedOpens> noTemporary;
                    if (way != std::string("replace")) noTemporary.emplace(".tmp-");
                    const FileCalls& files =
                        noTemporary ? noTemporary->calls() : test::FaultyFileCalls();
                    auto save = [&] {
                        IniFile ini(files);
                        ini.setPath(d.file("v.ini"), ChangeNotice::StatEveryRead);
                        test::FileFault fault(call.call, call.nth, effect);
                        IniWrite result = ini.set("dynamic", "x", value);
                        std::string v;
                        EXPECT_TRUE(ini.get("dynamic", "x", v) && v == value);
                        return result;
                    };
                    IniWrite result = IniWrite::NotSaved;
                    if (effect == test::FileFault::kKill) {
                        pid_t child = ::fork();
                        if (child == 0) {
                            save();
                            ::_exit(0);
                        }
                        int status = 0;
                        ASSERT_EQ(::waitpid(child, &status, 0), child);
                    } else {
                        result = save();
                    }
                    IniFile next;  // the next start
                    next.setPath(d.file("v.ini"), ChangeNotice::StatEveryRead);
                    std::string now = d.read("v.ini");
                    // A cut that did not happen leaves blank lines, which read as nothing.
                    if (now.size() > fresh.size() && now.starts_with(fresh) &&
                        now.find_first_not_of('\n', fresh.size()) == std::string::npos)
                        now.resize(fresh.size());
                    EXPECT_TRUE(now == old || now == fresh) << now;
                    if (result == IniWrite::Saved) {
                        EXPECT_EQ(now, fresh);
                    }
                    if (effect == EINTR && std::string(call.call) != "close") {
                        EXPECT_EQ(result, IniWrite::Saved);
                    }
                    EXPECT_EQ(d.entries(), std::vector<std::string>{"v.ini"});
                }
            }
        }
    }
}

TEST(IniFile, WritesInPlaceWhereNoFileCanBeCreated) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\nlonger=line that goes\n");
    struct stat before, after;
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &before), 0);
    test::RefusedOpens noTemporary(".tmp-");
    IniFile ini(noTemporary.calls());
    ini.setPath(d.file("v.ini"));
    EXPECT_EQ(ini.set("dynamic", "longer", "short"), IniWrite::Saved);
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=1\nlonger=short\n");
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

// Whatever happens to the file, what this run set reads back for the rest of the run, a
// file that cannot be read is never overwritten, and other programs' changes are seen.
TEST(IniFile, TheValueHoldsForThisRun) {
    namespace fs = std::filesystem;
    const struct Row {
        const char* name;
        bool writable;
        std::function<void(ScriptDir&)> before, during;
    } rows[] = {
        {"unwritable, edited on disk", false,
         [](ScriptDir& d) { d.writeBytes("v.ini", "[dynamic]\nx=1\n"); },
         [](ScriptDir& d) { d.writeBytes("v.ini", "[dynamic]\nx=edited\ny=3\n"); }},
        {"becomes a folder", true, [](ScriptDir& d) { d.writeBytes("v.ini", "[dynamic]\nx=1\n"); },
         [](ScriptDir& d) {
             fs::remove(d.file("v.ini"));
             fs::create_directory(d.file("v.ini"));
         }},
        {"a folder from the start", true,
         [](ScriptDir& d) { fs::create_directory(d.file("v.ini")); }, [](ScriptDir&) {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptDir d;
        row.before(d);
        std::optional<test::RefusedOpens> nothing;
        if (!row.writable) nothing.emplace("");
        IniFile ini(nothing ? nothing->calls() : SystemFileCalls());
        ini.setPath(d.file("v.ini"), ChangeNotice::StatEveryRead);
        ini.set("dynamic", "x", "2");
        row.during(d);
        EXPECT_NE(ini.set("dynamic", "z", "4"), IniWrite::Saved);
        std::string v;
        for (auto [key, value] : {std::pair{"x", "2"}, {"z", "4"}}) {
            ASSERT_TRUE(ini.get("dynamic", key, v)) << key;
            EXPECT_EQ(v, value);
        }
        if (fs::is_regular_file(d.file("v.ini"))) {
            EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=edited\ny=3\n");
            ASSERT_TRUE(ini.get("dynamic", "y", v));
            EXPECT_EQ(v, "3");
        } else {
            EXPECT_TRUE(fs::is_directory(d.file("v.ini")));
        }
    }
}

// A restart reads the same file again: what could not be saved still holds. A folder
// locked for good (a stopped program) delays a save, never stops the script; the value
// waits and the next save writes it.
TEST(IniFile, HeldValuesOutliveARestartAndALockedFolder) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\n");
    {
        test::RefusedOpens nothing("");
        IniFile ini(nothing.calls());
        ini.setPath(d.file("v.ini"), ChangeNotice::StatEveryRead);
        EXPECT_EQ(ini.set("dynamic", "x", "2"), IniWrite::NotSaved);
        ini.setPath(d.file("v.ini"), ChangeNotice::StatEveryRead);
        std::string v;
        ASSERT_TRUE(ini.get("dynamic", "x", v));
        EXPECT_EQ(v, "2");
    }
    IniFile ini;
    ini.setPath(d.file("v.ini"), ChangeNotice::StatEveryRead);
    int folder = ::open(d.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    EXPECT_EQ(ini.set("dynamic", "x", "3"), IniWrite::NotSaved);
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=1\n");
    ::close(folder);
    EXPECT_EQ(ini.save(), IniWrite::Saved);
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=3\n");
}

// Two programs saving into one folder at once: every change of each is kept.
TEST(IniFile, TwoProgramsLoseNoChange) {
    for (const char* way : {"replace", "link", "in place"}) {
        SCOPED_TRACE(way);
        ScriptDir d;
        std::string path = d.file("v.ini");
        if (way == std::string("link")) {
            std::filesystem::create_directory(d.file("real"));
            std::filesystem::create_symlink("real/v.ini", path);
        }
        // Where no file can be created, the file must be there already.
        if (way == std::string("in place")) d.writeBytes("v.ini", "");
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            children[c] = ::fork();
            if (children[c] != 0) continue;
            std::optional<test::RefusedOpens> noTemporary;
            if (way == std::string("in place")) noTemporary.emplace(".tmp-");
            IniFile ini(noTemporary ? noTemporary->calls() : SystemFileCalls());
            ini.setPath(path, ChangeNotice::StatEveryRead);
            for (int i = 0; i < 1000; ++i)
                ini.set("dynamic", "k" + std::to_string(c) + "_" + std::to_string(i),
                        std::to_string(i));
            // A save that waited too long for the other's lock left its values held.
            ::_exit(ini.save() == IniWrite::Saved ? 0 : 1);
        }
        for (pid_t child : children) {
            int status = -1;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_EQ(status, 0);
        }
        IniFile next;
        next.setPath(path, ChangeNotice::StatEveryRead);
        int present = 0;
        std::string v;
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 1000; ++i)
                present +=
                    next.get("dynamic", "k" + std::to_string(c) + "_" + std::to_string(i), v) &&
                    v == std::to_string(i);
        EXPECT_EQ(present, 2000);
    }
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
        {"LF", "hello\n[default]\nbegin=[evil]", "/enc:hello/n[default]/nbegin=[evil]"},
        {"CR LF", "a\r\n[x]\r\nb=c", "/enc:a/r/n[x]/r/nb=c"},
        {"CR", "a\r[x]\rb=c", "/enc:a/r[x]/rb=c"},
        {"NUL", std::string("a\0b\n[x]", 7), std::string("/enc:a\0b/n[x]", 13)},
        {"line breaks at the ends", "\nx\n", "/enc:/nx/n"},
        {"slashes beside a line break", "/ret/_/re/\n", "/enc://ret//_//re///n"},
        {"the mark itself", "/enc:x", "/enc://enc:x"},
        {"plain slashes stay", "c:/_public_html/x/ret", "c:/_public_html/x/ret"},
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
              "[dynamic]\r\nmemo=/enc:hello/n[default]/nbegin=[evil]\r\nscore=2\r\n");

    test::EngineHarness next;  // the next start
    next.dir.writeBytes("variable.txt", h.dir.read("variable.txt"));
    next.run("[main]\ntext,,%memo%\npause\n[evil]\ntext,,evil\npause\n");
    EXPECT_EQ(next.texts(), std::vector<std::string>{"hello\n[default]\nbegin=[evil]"});
}

// A start reads no more than 64 MiB: a write that would grow the file past that is refused
// with a message, the file stays as it was, and the value holds for the run.
TEST(SettingsStore, NoWriteGrowsTheFilePastWhatAStartReads) {
    test::EngineHarness h;
    const std::string head = "[dynamic]\r\nkept=1\r\n;";
    const std::string full = head + std::string(kMaxIniFileSize - head.size() - 12, 'x') + "\r\n";
    h.dir.writeBytes("variable.txt", full);
    h.run("[main]\nset,big,0123456789\nset,big,0123456789\ntext,,%big% %kept%\npause\n");
    EXPECT_EQ(h.texts(), std::vector<std::string>{"0123456789 1"});
    EXPECT_EQ(h.messages(), std::vector<std::string>{
                                "設定ファイルエラー：" + h.dir.programPath() +
                                "variable.txt が64MBを超えるため、big の値は保存しません。値は"
                                "この実行の間だけ保たれます"});
    EXPECT_TRUE(h.dir.read("variable.txt") == full);
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
