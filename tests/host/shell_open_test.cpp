// What 'shell' and 'openurl' start: programs with split arguments in a folder,
// everything else through xdg-open (here with $BROWSER pointing at a logger).
#include "host/shell_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/text.h"
#include "x_server_support.h"

namespace velmora {
namespace {

using test::Lines;
using test::ReadFile;
using test::ScopedEnv;
using test::TempDir;
using test::WaitFor;
using test::WriteFile;

// A program that writes its folder and arguments, one a line, to $VELMORA_TEST_OUT.
constexpr const char* kEcho =
    "#!/bin/sh\n{ pwd; for a; do echo \"[$a]\"; done; } > \"$VELMORA_TEST_OUT.tmp\"\n"
    "mv \"$VELMORA_TEST_OUT.tmp\" \"$VELMORA_TEST_OUT\"\n";

class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        out_ = dir_.file("out");
        WriteFile(dir_.file("echo-args"), kEcho, 0755);
        mkdir(dir_.file("work").c_str(), 0755);
        mkdir(dir_.file("sub dir").c_str(), 0755);
        // xdg-open without a desktop hands URLs and files to $BROWSER.
        WriteFile(dir_.file("browser"), "#!/bin/sh\necho \"$1\" > \"$VELMORA_TEST_OUT\"\n", 0755);
    }
    std::vector<std::string> output() {
        WaitFor([&] { return !ReadFile(out_).empty(); });
        return Lines(ReadFile(out_));
    }

    TempDir dir_;
    std::string out_;
    ScopedEnv outVar_{"VELMORA_TEST_OUT", nullptr};
    ScopedEnv browser_{"BROWSER", nullptr};
    ScopedEnv desktop_{"XDG_CURRENT_DESKTOP", nullptr};
};

TEST_F(ShellOpenTest, ProgramGetsItsArgumentsAndFolder) {
    setenv("VELMORA_TEST_OUT", out_.c_str(), 1);
    struct Case {
        std::string file, args, folder;
        std::vector<std::string> expected;
    };
    const std::string tool = dir_.file("echo-args");
    const Case cases[] = {
        {tool, "", "", {std::filesystem::current_path().string()}},
        {tool,
         "one \"two words\" 'three  four'",
         dir_.file("work"),
         {dir_.file("work"), "[one]", "[two words]", "[three  four]"}},
        {tool,
         Utf8ToCp932("日本語 \"全角　空白\""),
         dir_.file("sub dir"),
         {dir_.file("sub dir"), "[日本語]", "[全角　空白]"}},
        // A bare name is found in the folder.
        {"echo-args", "x", dir_.path(), {dir_.path(), "[x]"}},
        // Backslashes of a Windows path are separators.
        {dir_.path() + "\\echo-args", "", dir_.path() + "\\work", {dir_.file("work")}},
    };
    for (const auto& c : cases) {
        std::remove(out_.c_str());
        ASSERT_TRUE(ShellOpen(c.file, c.args, c.folder)) << c.file << " " << c.args;
        EXPECT_EQ(output(), c.expected) << c.args;
    }
    EXPECT_EQ(test::CountZombieChildren(), 0);
}

TEST_F(ShellOpenTest, BareNameFromPath) {
    setenv("VELMORA_TEST_OUT", out_.c_str(), 1);
    ScopedEnv path("PATH", (dir_.path() + ":/usr/bin:/bin").c_str());
    ASSERT_TRUE(ShellOpen("echo-args", "from-path", dir_.file("work")));
    EXPECT_EQ(output(), (std::vector<std::string>{dir_.file("work"), "[from-path]"}));
}

TEST_F(ShellOpenTest, UrlsDocumentsAndFoldersGoToXdgOpen) {
    setenv("VELMORA_TEST_OUT", out_.c_str(), 1);
    setenv("BROWSER", dir_.file("browser").c_str(), 1);
    // No installed handler (a browser the machine happens to have) may take the URL first.
    ScopedEnv dataDirs("XDG_DATA_DIRS", dir_.path().c_str()),
        dataHome("XDG_DATA_HOME", dir_.path().c_str()),
        configHome("XDG_CONFIG_HOME", dir_.path().c_str()),
        configDirs("XDG_CONFIG_DIRS", dir_.path().c_str());
    WriteFile(dir_.file("notes.txt"), "hello\n", 0644);
    const std::pair<std::string, std::string> cases[] = {
        {"http://127.0.0.1:8080/page?a=1&b=2", "http://127.0.0.1:8080/page?a=1&b=2"},
        {"mailto:someone@example.invalid", "mailto:someone@example.invalid"},
    };
    for (const auto& [target, expected] : cases) {
        std::remove(out_.c_str());
        ASSERT_TRUE(ShellOpen(target, "", "")) << target;
        EXPECT_EQ(output(), std::vector<std::string>{expected}) << target;
    }
}

TEST_F(ShellOpenTest, FailuresAreReported) {
    WriteFile(dir_.file("broken"),
              "\x7f"
              "ELF not really",
              0755);
    struct Case {
        std::string file, args, folder;
    };
    const Case cases[] = {
        {dir_.file("missing-program"), "", ""},
        {"velmora-no-such-program", "", ""},
        {dir_.file("echo-args"), "\"unterminated", ""},
        {dir_.file("echo-args"), "", dir_.file("missing-folder")},
        {dir_.file("broken"), "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) EXPECT_FALSE(ShellOpen(c.file, c.args, c.folder)) << c.file;

    // Without xdg-open, URLs and documents cannot be opened.
    WriteFile(dir_.file("doc.txt"), "text\n", 0644);
    ScopedEnv path("PATH", dir_.file("work").c_str());
    EXPECT_FALSE(ShellOpen("https://example.invalid/", "", ""));
    EXPECT_FALSE(ShellOpen(dir_.file("doc.txt"), "", ""));
    // An xdg-open that finds nothing to open the target with.
    WriteFile(dir_.file("work/xdg-open"), "#!/bin/sh\nexit 4\n", 0755);
    EXPECT_FALSE(ShellOpen("https://example.invalid/", "", ""));
    EXPECT_FALSE(ShellOpen(dir_.file("doc.txt"), "", ""));
    EXPECT_EQ(test::CountZombieChildren(), 0);
}

TEST(ShellOpen, LooksLikeUrl) {
    for (const char* url : {"http://x", "https://x/y", "mailto:a@b", "file:///tmp", "ms-settings:"})
        EXPECT_TRUE(LooksLikeUrl(url)) << url;
    for (const char* not_url :
         {"C:\\x.exe", "c:/x", "editor.exe", "/usr/bin/x", ":x", "1abc:x", "a b:c", ""})
        EXPECT_FALSE(LooksLikeUrl(not_url)) << not_url;
}

}  // namespace
}  // namespace velmora
