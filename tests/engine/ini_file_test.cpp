// The variable.txt reader and writer.
#include "engine/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

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
    ASSERT_TRUE(ini.set("dynamic", "a", "1"));
    ASSERT_TRUE(ini.set("default", "title", "T"));
    ASSERT_TRUE(ini.set("dynamic", "b", "2"));
    ASSERT_TRUE(ini.set("Dynamic", "A", "3"));
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\r\na=3\r\nb=2\r\n[default]\r\ntitle=T\r\n");
}

TEST(IniFile, KeepsLineEndsAndCommentsOfAnExistingFile) {
    ScriptDir d;
    d.writeBytes("v.ini", "# mine\n[dynamic]\nx=1\n\n[default]\nbegin=[main]\n");
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_TRUE(ini.set("dynamic", "y", "2"));
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

TEST(IniFile, AFailedWriteLeavesTheFileAndReportsFalse) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\n");
    // Block the temporary file's name so the write cannot happen.
    std::filesystem::create_directory(d.file("v.ini.tmp" + std::to_string(::getpid())));
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    EXPECT_FALSE(ini.set("dynamic", "x", "2"));
    std::string v;
    ASSERT_TRUE(ini.get("dynamic", "x", v));
    EXPECT_EQ(v, "1");
    EXPECT_EQ(d.read("v.ini"), "[dynamic]\nx=1\n");

    IniFile nowhere;
    nowhere.setPath(d.file("no-such-folder/v.ini"));
    EXPECT_FALSE(nowhere.set("dynamic", "x", "1"));
    EXPECT_FALSE(nowhere.get("dynamic", "x", v));
}

TEST(IniFile, WriteReplacesTheFileAtomically) {
    ScriptDir d;
    d.writeBytes("v.ini", "[dynamic]\nx=1\n");
    struct stat before, after;
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &before), 0);
    IniFile ini;
    ini.setPath(d.file("v.ini"));
    ASSERT_TRUE(ini.set("dynamic", "x", "2"));
    ASSERT_EQ(::stat(d.file("v.ini").c_str(), &after), 0);
    // A new file took the old one's place by rename: no moment of a half-written file.
    EXPECT_NE(before.st_ino, after.st_ino);
    int leftovers = 0;
    for (auto& e : std::filesystem::directory_iterator(d.path()))
        leftovers += e.path().filename() != "v.ini";
    EXPECT_EQ(leftovers, 0);
}

}  // namespace
}  // namespace velmora
