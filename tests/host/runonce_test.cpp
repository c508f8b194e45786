// The autostart entry: where it goes, what it holds, and that a real desktop
// launcher (GLib's, as GNOME and others use) runs it once with the right arguments.
#include "host/runonce.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "x_server_support.h"

namespace velmora {
namespace {

using test::Lines;
using test::ReadFile;
using test::ScopedEnv;
using test::TempDir;
using test::WaitFor;
using test::WriteFile;

TEST(RunOnce, EntryPathFollowsXdgConfigHome) {
    ScopedEnv home("HOME", "/home/someone");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
        EXPECT_EQ(RunOnceEntryPath(), "/tmp/cfg/autostart/oxquillet.desktop");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(RunOnceEntryPath(), "/home/someone/.config/autostart/oxquillet.desktop");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
        EXPECT_EQ(RunOnceEntryPath(), "/home/someone/.config/autostart/oxquillet.desktop");
    }
}

TEST(RunOnce, ExecQuotesEveryArgument) {
    EXPECT_EQ(RunOnceExec("/e.desktop", "/opt/velmora/velmora", "", ""),
              "/bin/sh -c \"rm -f -- \\\\\"\\\\$0\\\\\"; exec \\\\\"\\\\$@\\\\\"\" "
              "\"/e.desktop\" \"/opt/velmora/velmora\"");
    std::string withArg = RunOnceExec("/e.desktop", "/opt/velmora/velmora", "bookmark", "");
    EXPECT_TRUE(withArg.ends_with(" \"/opt/velmora/velmora\" \"bookmark\"")) << withArg;
    EXPECT_NE(RunOnceExec("/e", "/p", "", "/home/v").find("\"/home/v\" \"/p\""), std::string::npos);
    EXPECT_NE(RunOnceExec("/e", "/p", "100%", "").find("\"100%%\""), std::string::npos);
}

TEST(RunOnce, WritesAndReplacesTheEntryCreatingFolders) {
    TempDir dir;
    std::string path = dir.file("a/b/autostart/oxquillet.desktop");
    ASSERT_TRUE(WriteRunOnceEntry(path, "/opt/v/velmora", "", ""));
    std::string first = ReadFile(path);
    EXPECT_EQ(Lines(first)[0], "[Desktop Entry]");
    EXPECT_NE(first.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(first.find("\nExec=" + RunOnceExec(path, "/opt/v/velmora", "", "") + "\n"),
              std::string::npos);
    ASSERT_TRUE(WriteRunOnceEntry(path, "/opt/v/velmora", "bookmark", ""));
    std::string second = ReadFile(path);
    EXPECT_NE(second.find(RunOnceExec(path, "/opt/v/velmora", "bookmark", "")), std::string::npos);
    // Replaced in place: one entry, no temporary left over.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("a/b/autostart")),
                            std::filesystem::directory_iterator()),
              1);
    // A folder that cannot be made leaves the entry unwritten.
    WriteFile(dir.file("file"), "x");
    EXPECT_FALSE(WriteRunOnceEntry(dir.file("file/autostart/oxquillet.desktop"), "/p", "", ""));
}

// Launches the entry as a desktop session does and returns what the program saw.
std::vector<std::string> LaunchEntry(const std::string& entry, const std::string& log) {
    pid_t pid = test::Spawn({"gio", "launch", entry});
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WaitFor([&] { return !ReadFile(log).empty(); })) << "entry did not run";
    return Lines(ReadFile(log));
}

TEST(RunOnce, LaunchedEntryRunsOnceWithArgumentAndHome) {
    TempDir dir;
    // Awkward names on purpose: every quoting layer of the entry is crossed.
    std::string folder = dir.file("odd $HOME \"q\" 100% back\\slash 'x'");
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    std::string program = folder + "/run me";
    std::string log = dir.file("log");
    WriteFile(program,
              "#!/bin/sh\n{ echo \"home=${VELMORA_HOME-unset}\"; for a; do echo \"[$a]\"; done; } "
              "> \"" +
                  log + ".tmp\"; mv \"" + log + ".tmp\" \"" + log + "\"\n",
              0755);
    std::string entry = dir.file("autostart/oxquillet.desktop");
    struct Case {
        std::string argument, home;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"", "", {"home=unset"}},
        {"bookmark", "", {"home=unset", "[bookmark]"}},
        {"two words $x `y` \"z\" 5%", folder, {"home=" + folder, "[two words $x `y` \"z\" 5%]"}},
    };
    ScopedEnv clearHome("VELMORA_HOME", nullptr);
    for (const auto& c : cases) {
        std::remove(log.c_str());
        ASSERT_TRUE(WriteRunOnceEntry(entry, program, c.argument, c.home));
        EXPECT_EQ(LaunchEntry(entry, log), c.expected) << c.argument;
        EXPECT_FALSE(std::filesystem::exists(entry)) << "the entry must remove itself";
    }
}

}  // namespace
}  // namespace velmora
