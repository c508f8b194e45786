// The download's target file: nothing appears or changes unless the download succeeds.
#include "net/target_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "temp_dir.h"

namespace velmora {
namespace {

using test::ReadAll;
using test::TempDir;
using test::WriteAll;

TEST(TargetFile, NewFileAppearsOnlyOnCommit) {
    TempDir dir;
    std::string target = dir / "new.bin";
    TargetFile f;
    ASSERT_TRUE(f.create(target));
    ASSERT_TRUE(f.write("abc", 3));
    ASSERT_TRUE(f.write("", 0));
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(dir.entries().size(), 1u);  // the temporary file, beside the target
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(ReadAll(target), "abc");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"new.bin"});
}

TEST(TargetFile, DiscardLeavesNothingNewAndKeepsTheOldFile) {
    TempDir dir;
    WriteAll(dir / "old.txt", "precious");
    {
        TargetFile f;
        ASSERT_TRUE(f.create(dir / "old.txt"));
        ASSERT_TRUE(f.write("partial", 7));
        f.discard();
    }
    {
        TargetFile f;  // dropped without commit
        ASSERT_TRUE(f.create(dir / "fresh.txt"));
        ASSERT_TRUE(f.write("partial", 7));
    }
    EXPECT_EQ(ReadAll(dir / "old.txt"), "precious");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"old.txt"});
}

TEST(TargetFile, CommitReplacesAndKeepsTheMode) {
    TempDir dir;
    std::string target = dir / "script.sh";
    WriteAll(target, "old contents, longer than the new ones");
    chmod(target.c_str(), 0751);
    TargetFile f;
    ASSERT_TRUE(f.create(target));
    ASSERT_TRUE(f.write("new", 3));
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(ReadAll(target), "new");
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
}

TEST(TargetFile, SymbolicLinkIsWrittenThroughAndKept) {
    TempDir dir;
    WriteAll(dir / "real.txt", "old");
    std::filesystem::create_symlink("real.txt", dir / "link.txt");
    TargetFile f;
    ASSERT_TRUE(f.create(dir / "link.txt"));
    ASSERT_TRUE(f.write("new", 3));
    ASSERT_TRUE(f.commit());
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadAll(dir / "real.txt"), "new");
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
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    mkfifo((dir / "fifo").c_str(), 0600);  // no reader: opening must not hang
    const std::string targets[] = {"", dir / "sub", dir / "sub/", dir / "missing/x.bin",
                                   dir / "fifo"};
    for (const std::string& t : targets) {
        TargetFile f;
        EXPECT_FALSE(f.create(t)) << t;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"fifo", "sub"}));
}

TEST(TargetFile, ReadOnlyFileIsRefusedUnlessPrivileged) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write any file";
    TempDir dir;
    WriteAll(dir / "ro.txt", "keep");
    chmod((dir / "ro.txt").c_str(), 0444);
    TargetFile f;
    EXPECT_FALSE(f.create(dir / "ro.txt"));
    EXPECT_EQ(ReadAll(dir / "ro.txt"), "keep");
}

}  // namespace
}  // namespace velmora
