// Detached starts: the caller never waits, start failures come back, nothing leaks.
#include "host/process_start.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "x_server_support.h"

namespace velmora {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WaitFor;
using test::WriteFile;

TEST(ProcessStart, ReturnsWhileTheProgramStillRuns) {
    TempDir dir;
    std::string fifo = dir.file("gate"), out = dir.file("out");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The program blocks on the FIFO until we write to it; a start that waited for
    // the program would never return to do that.
    ASSERT_TRUE(StartDetached(
        {"/bin/sh", "-c", "read x < \"$0\"; echo \"got $x\" > \"$1\"", fifo, out}, ""));
    int fd = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "go\n", 3), 3);
    close(fd);
    EXPECT_TRUE(WaitFor([&] { return ReadFile(out) == "got go\n"; }));
    EXPECT_EQ(test::CountZombieChildren(), 0);
}

TEST(ProcessStart, RunsInTheFolderWithStdinClosedAndNoLeakedDescriptors) {
    TempDir dir;
    int mine = open("/dev/null", O_RDONLY);  // not close-on-exec: must not reach the child
    ASSERT_GE(mine, 3);
    std::string script = "pwd; read line && echo \"stdin: $line\"; ls /proc/self/fd | wc -l";
    ASSERT_TRUE(StartDetached({"/bin/sh", "-c", "{ " + script + "; } > out.txt"}, dir.path()));
    close(mine);
    std::string out;
    ASSERT_TRUE(WaitFor([&] {
        out = ReadFile(dir.file("out.txt"));
        return test::Lines(out).size() == 2;
    }));
    auto lines = test::Lines(out);
    EXPECT_EQ(lines[0], dir.path());
    // 0, 1, 2 and the descriptor ls reads the folder with.
    EXPECT_EQ(lines[1], "4");
}

TEST(ProcessStart, ReportsFailuresWithErrno) {
    TempDir dir;
    WriteFile(dir.file("plain.txt"), "not a program\n", 0644);
    WriteFile(dir.file("noexec"),
              "\x7f"
              "ELF garbage",
              0755);
    struct Case {
        std::vector<std::string> argv;
        std::string folder;
        int error;
    };
    const Case cases[] = {
        {{dir.file("missing")}, "", ENOENT},
        {{dir.file("plain.txt")}, "", EACCES},
        {{dir.file("noexec")}, "", ENOEXEC},
        {{"/bin/true"}, dir.file("no-such-folder"), ENOENT},
        {{""}, "", ENOENT},
        {{}, "", ENOENT},
    };
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_FALSE(StartDetached(c.argv, c.folder)) << (c.argv.empty() ? "" : c.argv[0]);
        EXPECT_EQ(errno, c.error) << (c.argv.empty() ? "" : c.argv[0]);
    }
    EXPECT_EQ(test::CountZombieChildren(), 0);
}

TEST(ProcessStart, FindInPath) {
    TempDir dir;
    WriteFile(dir.file("tool"), "#!/bin/sh\n", 0755);
    WriteFile(dir.file("doc"), "text\n", 0644);
    test::ScopedEnv path("PATH", ("/nonexistent:" + dir.path() + ":/bin").c_str());
    EXPECT_EQ(FindInPath("tool"), dir.file("tool"));
    EXPECT_EQ(FindInPath("doc"), "");  // not executable
    EXPECT_EQ(FindInPath("sh"), "/bin/sh");
    EXPECT_EQ(FindInPath("velmora-no-such-program"), "");
}

}  // namespace
}  // namespace velmora
