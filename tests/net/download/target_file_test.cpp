// The download's target file: nothing appears or changes unless the download succeeds, and
// a file that cannot be replaced harmlessly is written in place, keeping what it is.
#include "net/download/target_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "file_faults.h"
#include "script_dir.h"

namespace velmora {
namespace {

using test::ScriptDir;
using Way = TargetFile::Way;

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

// ---- Where the bytes go ---------------------------------------------------------------------

// Users other than the test's own, for folders and files that are not the writer's.
constexpr uid_t kSelf = static_cast<uid_t>(-1);
constexpr uid_t kNobody = 65534;
constexpr uid_t kOther = 65533;

// In a child process: mounts the file from over the file to, seen by this process only.
bool BindMount(const std::string& from, const std::string& to) {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

// Whether this process may make the mounts above (root, and a sandbox that allows it).
bool CanBindMount(const ScriptDir& dir) {
    dir.writeBytes("probe.a", "");
    dir.writeBytes("probe.b", "");
    pid_t pid = fork();
    if (pid == 0) _exit(BindMount(dir.file("probe.a"), dir.file("probe.b")) ? 0 : 1);
    int status = 1;
    waitpid(pid, &status, 0);
    std::filesystem::remove(dir.file("probe.a"));
    std::filesystem::remove(dir.file("probe.b"));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Downloads "new" into path as user (kSelf: this process), committed or dropped after the
// write; gives the way the file was written, or nothing when a step failed. With mountFrom,
// the writer first sees that file bind-mounted over path, in a mount namespace of its own.
std::optional<Way> Download(const std::string& path, uid_t user, bool commit,
                            const std::string& mountFrom = {}) {
    auto run = [&]() -> int {
        TargetFile f;
        if (!f.create(path) || !f.write("new", 3)) return 1;
        int way = static_cast<int>(f.way());
        if (!commit) {
            f.discard();
            return 10 + way;
        }
        return f.commit() ? 10 + way : 1;
    };
    int code = 0;
    if (user == kSelf && mountFrom.empty()) {
        code = run();
    } else {
        pid_t pid = fork();
        if (pid == 0) {
            if (!mountFrom.empty() && !BindMount(mountFrom, path)) _exit(2);
            if (user != kSelf &&
                (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
                _exit(2);
            _exit(run());
        }
        int status = 0;
        waitpid(pid, &status, 0);
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    }
    if (code < 10) return std::nullopt;
    return static_cast<Way>(code - 10);
}

// Every entry under dir with its size, links not followed: what a dropped download must
// leave as it was.
std::vector<std::string> Tree(const ScriptDir& dir) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
        // Folders only by name: their sizes may stay grown after a file came and went.
        struct stat st;
        lstat(e.path().c_str(), &st);
        out.push_back(e.path().string() +
                      (S_ISREG(st.st_mode) ? " " + std::to_string(st.st_size) : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct Place {
    const char* name;
    bool needsRoot;                               // other users' files
    std::function<bool(const ScriptDir&)> setUp;  // false: the file system cannot hold it
    std::string path;                             // what the download names
    std::string target;                           // the file that gets the body
    uid_t writer;
    Way way;
    std::vector<std::string> alsoNew = {};  // other names that must show the body
    std::function<void(const ScriptDir&)> check = nullptr;
    const char* mountFrom = nullptr;  // the writer sees this file mounted over path
};

void Owned(const std::string& path, uid_t uid, mode_t mode) {
    ASSERT_EQ(chown(path.c_str(), uid, uid), 0);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

TEST(TargetFile, ReplacesOnlyWhereThatKeepsTheFileWhatItIs) {
    namespace fs = std::filesystem;
    const bool root = geteuid() == 0;
    const Place places[] = {
        {"own file", false, [](const ScriptDir& d) { return d.writeBytes("f", "old"), true; }, "f",
         "f", kSelf, Way::Replace},
        {"hard link",
         false,
         [](const ScriptDir& d) {
             d.writeBytes("a", "old");
             fs::create_hard_link(d.file("a"), d.file("b"));
             return true;
         },
         "a",
         "a",
         kSelf,
         Way::InPlace,
         {"b"}},
        {"symbolic link", false,
         [](const ScriptDir& d) {
             d.writeBytes("real", "old");
             fs::create_symlink("real", d.file("link"));
             return true;
         },
         "link", "real", kSelf, Way::Replace},
        {"chain of relative links through a folder", false,
         [](const ScriptDir& d) {
             d.writeBytes("real", "old");
             fs::create_directory(d.file("sub"));
             fs::create_symlink("../real", d.file("sub/l2"));
             fs::create_symlink("sub/l2", d.file("l1"));
             return true;
         },
         "l1", "real", kSelf, Way::Replace},
        {"dangling link", false,
         [](const ScriptDir& d) {
             fs::create_directory(d.file("sub"));
             fs::create_symlink("sub/made", d.file("link"));
             return true;
         },
         "link", "sub/made", kSelf, Way::Replace},
        {"extended attribute",
         false,
         [](const ScriptDir& d) {
             d.writeBytes("f", "old");
             return setxattr(d.file("f").c_str(), "user.velmora", "tag", 3, 0) == 0;
         },
         "f",
         "f",
         kSelf,
         Way::Replace,
         {},
         [](const ScriptDir& d) {
             char value[8] = {};
             EXPECT_EQ(getxattr(d.file("f").c_str(), "user.velmora", value, sizeof value), 3);
             EXPECT_STREQ(value, "tag");
         }},
        {"another user's file, written by root", true,
         [](const ScriptDir& d) {
             d.writeBytes("f", "old");
             Owned(d.file("f"), kOther, 04750);
             return true;
         },
         "f", "f", kSelf, Way::Replace},
        {"own file in a sticky folder", true,
         [](const ScriptDir& d) {
             fs::create_directory(d.file("drop"));
             Owned(d.file("drop"), 0, 01777);
             d.writeBytes("drop/f", "old");
             Owned(d.file("drop/f"), kNobody, 0644);
             return true;
         },
         "drop/f", "drop/f", kNobody, Way::Replace},
        {"another user's writable file in a sticky folder", true,
         [](const ScriptDir& d) {
             fs::create_directory(d.file("drop"));
             Owned(d.file("drop"), 0, 01777);
             d.writeBytes("drop/f", "old");
             Owned(d.file("drop/f"), kOther, 0666);
             return true;
         },
         "drop/f", "drop/f", kNobody, Way::InPlace},
        {"folder that takes no new file", false,
         [root](const ScriptDir& d) {
             fs::create_directory(d.file("box"));
             d.writeBytes("box/f", "old");
             Owned(d.file("box/f"), root ? kNobody : geteuid(), 0644);
             return chmod(d.file("box").c_str(), 0555) == 0;
         },
         "box/f", "box/f", root ? kNobody : kSelf, Way::InPlace},
        {"file mounted over another",
         true,
         [](const ScriptDir& d) {
             d.writeBytes("f", "hidden");
             d.writeBytes("src", "old");
             return CanBindMount(d);
         },
         "f",
         "src",
         kSelf,
         Way::InPlace,
         {},
         [](const ScriptDir& d) { EXPECT_EQ(d.read("f"), "hidden"); },
         "src"},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.name);
        if (p.needsRoot && !root) continue;
        ScriptDir dir;
        ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
        if (!p.setUp(dir)) {
            std::printf("skipped: %s\n", p.name);
            continue;
        }
        const std::string path = dir.file(p.path), target = dir.file(p.target);
        const bool wasLink = fs::is_symlink(path);
        struct stat before {};
        const bool existed = stat(target.c_str(), &before) == 0;
        const std::string old = dir.read(p.target);

        // Dropped: the way is chosen, nothing new stays, a replaced file is untouched.
        const std::vector<std::string> tree = Tree(dir);
        const std::string mountFrom = p.mountFrom ? dir.file(p.mountFrom) : "";
        EXPECT_EQ(Download(path, p.writer, false, mountFrom), p.way);
        EXPECT_EQ(Tree(dir).size(), tree.size());
        if (p.way == Way::Replace) {
            EXPECT_EQ(Tree(dir), tree);
        } else {
            dir.writeBytes(p.target, old);
        }

        EXPECT_EQ(Download(path, p.writer, true, mountFrom), p.way);
        EXPECT_EQ(dir.read(p.target), "new");
        for (const std::string& name : p.alsoNew) EXPECT_EQ(dir.read(name), "new") << name;
        EXPECT_EQ(fs::is_symlink(path), wasLink);
        struct stat after {};
        ASSERT_EQ(stat(target.c_str(), &after), 0);
        if (existed) {
            EXPECT_EQ(after.st_ino == before.st_ino, p.way == Way::InPlace);
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_gid, before.st_gid);
            EXPECT_EQ(after.st_mode, before.st_mode);
        }
        if (p.check) p.check(dir);
        chmod(dir.file("box").c_str(), 0755);  // so that the folder can go
    }
}

TEST(TargetFile, ReadOnlyFileIsRefused) {
    ScriptDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    dir.writeBytes("ro.txt", "keep");
    chmod((dir.file("ro.txt")).c_str(), 0444);
    // Root may write any file: the check runs as another user then.
    EXPECT_EQ(Download(dir.file("ro.txt"), geteuid() == 0 ? kNobody : kSelf, true), std::nullopt);
    EXPECT_EQ(dir.read("ro.txt"), "keep");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"ro.txt"});
}

TEST(TargetFile, LinkLoopsAreRefused) {
    ScriptDir dir;
    std::filesystem::create_symlink("b", dir.file("a"));
    std::filesystem::create_symlink("a", dir.file("b"));
    TargetFile f;
    EXPECT_FALSE(f.create(dir.file("a")));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"a", "b"}));
}

// ---- Failing system calls ------------------------------------------------------------------

TEST(TargetFile, AFailingCallKeepsTheOldFile) {
    const struct Row {
        const char* call;
        int nth;
        bool hardLinked;  // written in place: only a failure before the body keeps the file
    } rows[] = {
        {"write", 1, false}, {"write", 2, false},  {"fsync", 1, false},
        {"close", 1, false}, {"rename", 1, false}, {"ftruncate", 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.call) + " #" + std::to_string(row.nth));
        ScriptDir dir;
        dir.writeBytes("old.txt", "precious");
        if (row.hardLinked)
            std::filesystem::create_hard_link(dir.file("old.txt"), dir.file("other.txt"));
        const std::vector<std::string> names = dir.entries();
        bool ok;
        TargetFile f(test::FaultyFileCalls());
        {
            test::FileFault fault(row.call, row.nth);
            ASSERT_TRUE(f.create(dir.file("old.txt")));
            ok = f.write("new ", 4) && f.write("bytes", 5) && f.commit();
        }
        EXPECT_FALSE(ok);
        f.discard();
        EXPECT_EQ(dir.read("old.txt"), "precious");
        EXPECT_EQ(dir.entries(), names);
    }
}

}  // namespace
}  // namespace velmora
