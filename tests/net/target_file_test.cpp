// The download's target file: nothing appears or changes unless the download succeeds.
#include "net/target_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "script_dir.h"

namespace velmora {
namespace {

using test::ScriptDir;

TEST(TargetFile, NewFileAppearsOnlyOnCommit) {
    ScriptDir dir;
    std::string target = dir.file("new.bin");
    TargetFile f;
    ASSERT_TRUE(f.create(target));
    ASSERT_TRUE(f.write("abc", 3));
    ASSERT_TRUE(f.write("", 0));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(dir.entries().size(), 1u);  // the temporary file, beside the target
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(dir.read("new.bin"), "abc");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"new.bin"});
}

TEST(TargetFile, DiscardLeavesNothingNewAndKeepsTheOldFile) {
    ScriptDir dir;
    dir.writeBytes("old.txt", "precious");
    {
        TargetFile f;
        ASSERT_TRUE(f.create(dir.file("old.txt")));
        ASSERT_TRUE(f.write("partial", 7));
        f.discard();
    }
    {
        TargetFile f;  // dropped without commit
        ASSERT_TRUE(f.create(dir.file("fresh.txt")));
        ASSERT_TRUE(f.write("partial", 7));
    }
    EXPECT_EQ(dir.read("old.txt"), "precious");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"old.txt"});
}

TEST(TargetFile, CommitReplacesAndKeepsTheMode) {
    ScriptDir dir;
    std::string target = dir.file("script.sh");
    dir.writeBytes("script.sh", "old contents, longer than the new ones");
    chmod(target.c_str(), 0751);
    TargetFile f;
    ASSERT_TRUE(f.create(target));
    ASSERT_TRUE(f.write("new", 3));
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(dir.read("script.sh"), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
}

TEST(TargetFile, SymbolicLinkIsWrittenThroughAndKept) {
    ScriptDir dir;
    dir.writeBytes("real.txt", "old");
    std::filesystem::create_symlink("real.txt", dir.file("link.txt"));
    TargetFile f;
    ASSERT_TRUE(f.create(dir.file("link.txt")));
    ASSERT_TRUE(f.write("new", 3));
    ASSERT_TRUE(f.commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.txt")));
    EXPECT_EQ(dir.read("real.txt"), "new");
}

TEST(TargetFile, DevicesAreWrittenDirectlyAndNeverRemoved) {
    TargetFile f;
    ASSERT_TRUE(f.create("/dev/null"));
    EXPECT_TRUE(f.temporaryPath().empty());
    ASSERT_TRUE(f.write("x", 1));
    f.discard();
    EXPECT_TRUE(std::filesystem::exists("/dev/null"));
}

TEST(TargetFile, UnwritableTargetsAreRefused) {
    ScriptDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    mkfifo((dir.file("fifo")).c_str(), 0600);  // no reader: opening must not hang
    const std::string targets[] = {"", dir.file("sub"), dir.file("sub/"), dir.file("missing/x.bin"),
                                   dir.file("fifo")};
    for (const std::string& t : targets) {
        TargetFile f;
        EXPECT_FALSE(f.create(t)) << t;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"fifo", "sub"}));
}

TEST(TargetFile, ReadOnlyFileIsRefusedUnlessPrivileged) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    ScriptDir dir;
    dir.writeBytes("ro.txt", "keep");
    chmod((dir.file("ro.txt")).c_str(), 0444);
    TargetFile f;
    EXPECT_FALSE(f.create(dir.file("ro.txt")));
    EXPECT_EQ(dir.read("ro.txt"), "keep");
}

}  // namespace
}  // namespace velmora
