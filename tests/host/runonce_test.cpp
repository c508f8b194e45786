// The autostart entry: where it goes, what it holds, and that a real desktop
// launcher (GLib's, as GNOME and others use) runs it once with the right arguments.
#include "host/runonce.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

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

TEST(RunOnce, TheEntryRunsALauncherThatQuotesEveryArgument) {
    EXPECT_EQ(RunOnceExec("/cfg/autostart/oxquillet.sh"),
              "/bin/sh \"/cfg/autostart/oxquillet.sh\"");
    EXPECT_EQ(RunOnceExec("/a 100%/x\"y"), "/bin/sh \"/a 100%%/x\\\\\"y\"");
    EXPECT_EQ(RunOnceLauncherPath("/cfg/autostart/oxquillet.desktop"),
              "/cfg/autostart/oxquillet.sh");
    const std::string plain = RunOnceLauncher("/e.desktop", "/opt/velmora/velmora", "", "");
    EXPECT_TRUE(plain.ends_with("\nrm -f -- '/e.desktop' \"$0\"\nexec '/opt/velmora/velmora'\n"))
        << plain;
    EXPECT_TRUE(RunOnceLauncher("/e", "/p", "bookmark \"it's\"", "")
                    .ends_with("\nexec '/p' 'bookmark' 'it'\\''s'\n"));
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_NE(RunOnceLauncher("/e", "/p", "", "rel/./v")
                  .find("\nVELMORA_HOME='" + cwd + "/rel/v'\nexport VELMORA_HOME\n"),
              std::string::npos)
        << "a relative program folder is stored absolute";
}

TEST(RunOnce, ArgumentsSplitAsAWindowsCommandLine) {
    using Args = std::vector<std::string>;
    const struct {
        const char* text;
        Args args;
    } cases[] = {
        {"", {}},
        {" \t ", {}},
        {"bookmark", {"bookmark"}},
        {"bookmark x", {"bookmark", "x"}},
        {"  a\t b  ", {"a", "b"}},
        {"\"two words\" x", {"two words", "x"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"C:\\dir\\ x", {"C:\\dir\\", "x"}},  // backslashes alone are literal
        {"a\\\"b", {"a\"b"}},                 // \" is a quote
        {"\"a\\\\\" b", {"a\\", "b"}},        // \\" is a backslash, then grouping
        {"\"open", {"open"}},                 // the group runs to the end
        {"\"$HOME `x` 'y'\"", {"$HOME `x` 'y'"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SplitWindowsArguments(c.text), c.args);
    }
}

// How a Windows program quotes each argument for its command line.
std::string QuoteForWindows(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

TEST(RunOnce, SplittingUndoesWindowsQuotingOfAnyArguments) {
    std::mt19937 random(16);
    const std::string alphabet = "ab \t\"\\%$`'\x82\xa0";
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> args(random() % 4);
        std::string line;
        for (std::string& a : args) {
            for (size_t n = random() % 6; n > 0; --n) a += alphabet[random() % alphabet.size()];
            line += (line.empty() ? "" : " ") + QuoteForWindows(a);
        }
        ASSERT_EQ(SplitWindowsArguments(line), args) << line;
    }
}

TEST(RunOnce, WritesAndReplacesTheEntryCreatingFolders) {
    TempDir dir;
    std::string path = dir.file("a/b/autostart/oxquillet.desktop");
    ASSERT_TRUE(WriteRunOnceEntry(path, "/opt/v/velmora", "", ""));
    std::string first = ReadFile(path);
    EXPECT_EQ(Lines(first)[0], "[Desktop Entry]");
    EXPECT_NE(first.find("\nType=Application\n"), std::string::npos);
    const std::string launcher = dir.file("a/b/autostart/oxquillet.sh");
    EXPECT_NE(first.find("\nExec=" + RunOnceExec(launcher) + "\n"), std::string::npos);
    EXPECT_EQ(ReadFile(launcher), RunOnceLauncher(path, "/opt/v/velmora", "", ""));
    ASSERT_TRUE(WriteRunOnceEntry(path, "/opt/v/velmora", "bookmark", ""));
    EXPECT_EQ(ReadFile(launcher), RunOnceLauncher(path, "/opt/v/velmora", "bookmark", ""));
    // Replaced in place: the entry and its launcher, no temporary left over.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("a/b/autostart")),
                            std::filesystem::directory_iterator()),
              2);
    // A folder that cannot be made leaves the entry unwritten.
    WriteFile(dir.file("file"), "x");
    EXPECT_FALSE(WriteRunOnceEntry(dir.file("file/autostart/oxquillet.desktop"), "/p", "", ""));
}

// Launches the entry as a desktop session does (GLib's gio, or dex as lighter sessions
// use) and returns what the program saw.
std::vector<std::string> LaunchEntry(const std::string& launcher, const std::string& entry,
                                     const std::string& log) {
    pid_t pid =
        launcher == "gio" ? test::Spawn({"gio", "launch", entry}) : test::Spawn({"dex", entry});
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
        {"bookmark x", "", {"home=unset", "[bookmark]", "[x]"}},
        {"\"two words\" $x `y` \\\"z\\\" 5%",
         folder,
         {"home=" + folder, "[two words]", "[$x]", "[`y`]", "[\"z\"]", "[5%]"}},
        {"", "rel", {"home=" + std::filesystem::current_path().string() + "/rel"}},
    };
    ScopedEnv clearHome("VELMORA_HOME", nullptr);
    for (const char* launcher : {"gio", "dex"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(launcher) + " " + c.argument);
            std::remove(log.c_str());
            ASSERT_TRUE(WriteRunOnceEntry(entry, program, c.argument, c.home));
            EXPECT_EQ(LaunchEntry(launcher, entry, log), c.expected);
            EXPECT_FALSE(std::filesystem::exists(entry)) << "the entry must remove itself";
            EXPECT_FALSE(std::filesystem::exists(RunOnceLauncherPath(entry)));
        }
    }
}

}  // namespace
}  // namespace velmora
