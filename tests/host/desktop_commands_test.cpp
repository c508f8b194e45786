// The desktop commands end to end: real windows on a private X server, bare and
// under openbox; the shell commands with real programs; the autostart entry; and
// the rows of the engine's command table.
#include "host/desktop_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/engine.h"
#include "engine/system_helpers.h"
#include "engine/text.h"
#include "fake_frontend.h"
#include "host/runonce.h"
#include "host/x_desktop.h"
#include "x_server_support.h"

namespace velmora {
namespace {

using test::Lines;
using test::ReadFile;
using test::ScopedEnv;
using test::TempDir;
using test::TestWindow;
using test::WaitFor;

using CommandFn = void (*)(const CurrentLine&, BuiltinVariables&);

struct Result {
    std::string var1, var2;
};

// Runs a command on a line with the given parameters. var1 and var2 start with
// markers, so a result that leaves them alone shows.
Result RunCommand(CommandFn command, const std::vector<std::string>& params) {
    CurrentLine line;
    line.paramCount = static_cast<int>(params.size());
    for (size_t i = 0; i < params.size(); ++i) line.param[i] = params[i];
    line.param[params.size()] = "left over from an earlier line";
    BuiltinVariables vars;
    vars[kVar1] = "old1";
    vars[kVar2] = "old2";
    command(line, vars);
    return {vars[kVar1], vars[kVar2]};
}

std::string NotFound(const std::string& title) {
    return Utf8ToCp932(title + " が見つかりません");
}

std::vector<std::string> Tap(const std::string& keysym, unsigned state = 0) {
    std::string s = " " + std::to_string(state);
    return {"press " + keysym + s, "release " + keysym + s};
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Waits until the window logged n key lines and returns them.
std::vector<std::string> KeysOf(const TestWindow& w, size_t n) {
    WaitFor([&] { return w.keyLines().size() >= n; });
    return w.keyLines();
}

using DesktopCommandsX = test::XDisplayTest;

TEST_P(DesktopCommandsX, SendkeyTypesTheByteMinus0x20Keys) {
    TestWindow& target = open("Editor");
    TestWindow& own = openOwn();
    struct Case {
        std::string text;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {"abc", Concat({Tap("a"), Tap("b"), Tap("c")})},
        {"ABC", Concat({Tap("Prior"), Tap("Next"), Tap("End")})},
        {"a b", Concat({Tap("a"), Tap("b")})},
        {"PY@-", Concat({Tap("0"), Tap("9"), Tap("space"), Tap("Return")})},
        {"();EH", Concat({Tap("BackSpace"), Tap("Tab"), Tap("Escape"), Tap("Left"), Tap("Down")})},
    };
    size_t seen = 0;
    for (const auto& c : cases) {
        Result r = RunCommand(SendKeyCommand, {"Editor", c.text});
        EXPECT_EQ(r.var1, "OK") << c.text;
        EXPECT_EQ(r.var2, "old2") << c.text;
        auto keys = KeysOf(target, seen + c.keys.size());
        EXPECT_EQ(std::vector<std::string>(keys.begin() + std::min(seen, keys.size()), keys.end()),
                  c.keys)
            << c.text;
        seen = keys.size();
        // The focus is handed back to our own window.
        EXPECT_TRUE(WaitFor([&] { return active() == own.id; })) << c.text;
    }
    EXPECT_TRUE(own.keyLines().empty()) << own.text();
}

TEST_P(DesktopCommandsX, SendkeycodePressesModifiersAroundTheKey) {
    TestWindow& target = open("Terminal - Code");
    openOwn();
    struct Case {
        std::vector<std::string> params;
        std::vector<std::string> keys;
    };
    const Case cases[] = {
        {{"Code", "65", "CTRL"},
         {"press Control_L 0", "press a 4", "release a 4", "release Control_L 4"}},
        {{"Code", "13"}, Tap("Return")},
        {{"Code", "269"}, Tap("Return")},  // only the low byte counts
        {{"Code", "0"}, {}},
        {{"Code", "255", "shift"}, {}},
        {{"Code", "112", "Ctrl+Shift+Alt"},
         {"press Shift_L 0", "press Alt_L 1", "press Control_L 9", "press F1 13", "release F1 13",
          "release Shift_L 13", "release Alt_L 12", "release Control_L 4"}},
        {{"Code", " 66xyz", "altctrl"},
         {"press Alt_L 0", "press Control_L 8", "press b 12", "release b 12", "release Alt_L 12",
          "release Control_L 4"}},
    };
    size_t seen = 0;
    for (const auto& c : cases) {
        Result r = RunCommand(SendKeyCodeCommand, c.params);
        EXPECT_EQ(r.var1, "OK") << c.params[1];
        EXPECT_EQ(r.var2, "old2");
        // A marker key after each case shows that nothing else arrived before it.
        ASSERT_EQ(RunCommand(SendKeyCodeCommand, {"Code", "27"}).var1, "OK");
        auto expected = Concat({c.keys, Tap("Escape")});
        auto keys = KeysOf(target, seen + expected.size());
        EXPECT_EQ(std::vector<std::string>(keys.begin() + std::min(seen, keys.size()), keys.end()),
                  expected)
            << c.params[1];
        seen = keys.size();
    }
}

// Focusing raises a window and handing the focus back raises ours again, so the
// order below changes as a script works; the cases run in an order that shows it.
TEST_P(DesktopCommandsX, TargetsFollowTheStackingOrder) {
    TestWindow& below = open("Report - Writer");
    open("Hidden Writer", {"--hidden"});
    TestWindow& own = openOwn();
    TestWindow& above = open("Draft - Writer");
    struct Case {
        std::string title;
        TestWindow* expected;
    };
    const Case cases[] = {
        {"Draft", nullptr},  // above our window: not walked
        {"Draft", &above},   // below now: ours was raised after the last command
        {"Writer", &above},  // the first match below ours
        {"Report", &below},          {"Hidden", nullptr},  // not visible
        {"report - writer", &below},                       // the exact title, in any ASCII case
    };
    for (const auto& c : cases) {
        size_t before = c.expected ? c.expected->keyLines().size() : 0;
        Result r = RunCommand(SendKeyCommand, {c.title, "a"});
        if (c.expected) {
            EXPECT_EQ(r.var1, "OK") << c.title;
            EXPECT_EQ(KeysOf(*c.expected, before + 2).size(), before + 2) << c.title;
        } else {
            EXPECT_EQ(r.var1, "NG") << c.title;
            EXPECT_EQ(r.var2, NotFound(c.title));
        }
        EXPECT_TRUE(WaitFor([&] { return active() == own.id; })) << c.title;
    }
    EXPECT_TRUE(own.keyLines().empty());
}

TEST_P(DesktopCommandsX, SendcloseAsksTheWindowToClose) {
    TestWindow& plain = open("Viewer");
    TestWindow& careful = open("Unsaved work", {"--refuse-close"});
    TestWindow& noProtocol = open("Old program", {"--no-delete"});
    openOwn();

    Result r = RunCommand(SendCloseCommand, {"Viewer"});
    EXPECT_EQ(r.var1, "OK");
    EXPECT_EQ(r.var2, "old2");
    EXPECT_TRUE(WaitFor([&] { return !plain.alive(); }));
    EXPECT_EQ(Lines(plain.text()).back(), "close");

    // A program that asks to save its work keeps its window.
    EXPECT_EQ(RunCommand(SendCloseCommand, {"Unsaved"}).var1, "OK");
    EXPECT_TRUE(WaitFor([&] { return Lines(careful.text()).back() == "close"; }));
    EXPECT_TRUE(careful.alive());

    // Without WM_DELETE_WINDOW the window goes the way a window manager closes it.
    EXPECT_EQ(RunCommand(SendCloseCommand, {"Old program"}).var1, "OK");
    EXPECT_TRUE(WaitFor([&] { return !noProtocol.alive(); }));

    r = RunCommand(SendCloseCommand, {"Viewer"});
    EXPECT_EQ(r.var1, "NG");
    EXPECT_EQ(r.var2, NotFound("Viewer"));
}

INSTANTIATE_TEST_SUITE_P(Modes, DesktopCommandsX, ::testing::Bool(), test::ModeName);

// Under a window manager: xclock asks for no keyboard input, so openbox never gives it
// the focus. Keys for it must not land in the window that has the focus instead.
using DesktopCommandsWm = test::XDisplayTest;

TEST_P(DesktopCommandsWm, KeysForAWindowThatRefusesTheFocusAreNotSent) {
    TestWindow& terminal = open("Terminal");
    openOwn();
    windows_.emplace_back().pid =
        test::Spawn({"xclock", "-title", "Clock"});  // stopped at TearDown
    ASSERT_TRUE(WaitFor([&] {
        XDesktop x;
        std::string why;
        if (!x.open(why)) return false;
        for (const auto& e : x.topLevels())
            if (e.visible && e.title == "Clock") return true;
        return false;
    })) << "xclock (x11-apps) did not show its window";

    // The terminal has the focus, as when a user starts a script from it.
    ASSERT_EQ(RunCommand(SendKeyCodeCommand, {"Terminal", "27"}).var1, "OK");
    const std::string refused =
        Utf8ToCp932("Clock がフォーカスを受け取らないため、キーを送りませんでした");
    for (auto command : {SendKeyCommand, SendKeyCodeCommand}) {
        Result r = RunCommand(command, {"Clock", "rmP-"});
        EXPECT_EQ(r.var1, "NG");
        EXPECT_EQ(r.var2, refused);
    }
    // A marker typed afterwards is the next thing the terminal received.
    ASSERT_EQ(RunCommand(SendKeyCommand, {"Terminal", "a"}).var1, "OK");
    EXPECT_EQ(KeysOf(terminal, 4), Concat({Tap("Escape"), Tap("a")}));
}

INSTANTIATE_TEST_SUITE_P(Openbox, DesktopCommandsWm, ::testing::Values(true), test::ModeName);

TEST(DesktopCommands, WindowCommandsWithoutDisplayAnswerNG) {
    ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);  // a Wayland session has its own reason
    for (const char* display : {static_cast<const char*>(nullptr), "", ":9999"}) {
        ScopedEnv env("DISPLAY", display);
        std::string why =
            display && *display
                ? Utf8ToCp932("X ディスプレイ :9999 に接続できません")
                : Utf8ToCp932("X ディスプレイがありません（DISPLAY が設定されていません）");
        const std::pair<CommandFn, std::vector<std::string>> cases[] = {
            {SendKeyCommand, {"Editor", "abc"}},
            {SendKeyCodeCommand, {"Editor", "13", "ctrl"}},
            {SendCloseCommand, {"Editor"}},
        };
        for (const auto& [command, params] : cases) {
            Result r = RunCommand(command, params);
            EXPECT_EQ(r.var1, "NG");
            EXPECT_EQ(r.var2, why);
        }
    }
}

TEST(DesktopCommands, ShellAndOpenurlReportTheStart) {
    TempDir dir;
    ScopedEnv noDisplay("DISPLAY", nullptr);
    std::string out = dir.file("out");
    test::WriteFile(dir.file("tool"),
                    "#!/bin/sh\n{ pwd; for a; do echo \"[$a]\"; done; } > " + out + ".tmp; mv " +
                        out + ".tmp " + out + "\n",
                    0755);
    Result r = RunCommand(ShellCommand, {dir.file("tool"), "\"a b\" c", dir.path()});
    EXPECT_EQ(r.var1, "OK");
    EXPECT_EQ(r.var2, "old2");
    ASSERT_TRUE(WaitFor([&] { return !ReadFile(out).empty(); }));
    EXPECT_EQ(Lines(ReadFile(out)), (std::vector<std::string>{dir.path(), "[a b]", "[c]"}));

    const std::string missing = dir.file("missing.exe");
    for (CommandFn command : {ShellCommand, OpenUrlCommand}) {
        r = RunCommand(command, {missing});
        EXPECT_EQ(r.var1, "NG");
        EXPECT_EQ(r.var2, Utf8ToCp932(missing + " の実行に失敗しました"));
    }
    // openurl takes no arguments: the left-over parameters of the line are not used.
    std::remove(out.c_str());
    CurrentLine line;
    line.paramCount = 1;
    line.p(1) = dir.file("tool");
    line.p(2) = "ignored";
    BuiltinVariables vars;
    OpenUrlCommand(line, vars);
    EXPECT_EQ(vars[kVar1], "OK");
    ASSERT_TRUE(WaitFor([&] { return !ReadFile(out).empty(); }));
    EXPECT_EQ(Lines(ReadFile(out)).size(), 1u);
    EXPECT_EQ(test::CountZombieChildren(), 0);
}

TEST(DesktopCommands, RegisterRunOnceWritesTheEntry) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().c_str());
    ScopedEnv home("VELMORA_HOME", nullptr);
    const std::string entry = dir.file("autostart/oxquillet.desktop");
    struct Case {
        std::vector<std::string> params;
        std::string argument;
    };
    const Case cases[] = {{{}, ""}, {{"bookmark"}, "bookmark"}, {{""}, ""}};
    for (const auto& c : cases) {
        Result r =
            RunCommand([](const CurrentLine& l,
                          BuiltinVariables&) { RegisterRunOnceCommand(l, "/opt/velmora/velmora"); },
                       c.params);
        EXPECT_EQ(r.var1, "old1");  // nothing is reported
        EXPECT_EQ(ReadFile(RunOnceLauncherPath(entry)),
                  RunOnceLauncher(entry, "/opt/velmora/velmora", c.argument, ""));
    }
}

// Through the engine: the command words, their minimum parameters and the
// program's own path for registerrunonce.
TEST(DesktopCommands, CommandTableRows) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().c_str());
    ScopedEnv noDisplay("DISPLAY", nullptr);
    test::WriteFile(dir.file("code.txt"),
                    "[main]\nregisterrunonce,bookmark\nsendclose,Nothing\nset,r,%var1%\n"
                    "sendkeycode,Nothing\n");
    test::FakeFrontend fe;
    Engine engine(fe);
    fe.engine = &engine;
    DesktopCommands desktop(engine);
    engine.setProgramPath(dir.path() + "/");
    engine.LoadSettings();
    engine.StartScript();

    EXPECT_EQ(engine.GetVariable("r", ""), "NG");
    ASSERT_EQ(fe.messages.size(), 1u);
    EXPECT_EQ(fe.messagesUtf8()[0], "コードエラー：パラメーターが足りません sendkeycode (line:5)");
    const std::string entry = dir.file("autostart/oxquillet.desktop");
    EXPECT_EQ(ReadFile(RunOnceLauncherPath(entry)),
              RunOnceLauncher(entry, ExecutablePath(), "bookmark", ""));
    EXPECT_NE(ExecutablePath().find("host_tests"), std::string::npos);
}

}  // namespace
}  // namespace velmora
