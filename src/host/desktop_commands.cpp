// The desktop commands on top of ShellOpen, XDesktop and the autostart entry.
// After each command the keyboard focus goes back to our own window; when there
// is none (the console front end) to the window that had it before the command.
// Keys go out only while the named window has the focus: otherwise they would land
// in whichever window has it (a terminal, say), so the command sends nothing and fails.
#include "host/desktop_commands.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "engine/engine.h"
#include "engine/system_helpers.h"
#include "engine/text.h"
#include "host/runonce.h"
#include "host/shell_open.h"
#include "host/x_desktop.h"

namespace velmora {

namespace {

VELMORA_CP932_FORMAT(StartFailed, (const std::string& file), "%s の実行に失敗しました",
                     file.c_str())
VELMORA_CP932_FORMAT(WindowNotFound, (const std::string& title), "%s が見つかりません",
                     title.c_str())
VELMORA_CP932_FORMAT(NoFocus, (const std::string& title),
                     "%s がフォーカスを受け取らないため、キーを送りませんでした", title.c_str())

void Fail(BuiltinVariables& vars, const std::string& why) {
    vars[kVar2] = why;
    vars[kVar1] = "NG";
}

// The window a command works on, and where the focus goes afterwards.
struct Target {
    unsigned long window = 0;
    unsigned long home = 0;  // our window, or the one active before
};

Target FindTarget(XDesktop& x, const std::string& title) {
    std::vector<WindowEntry> list = x.topLevels();
    int own = x.ownWindow(list);
    int found = FindWindowByTitle(list, own, title);
    Target t;
    t.window = found >= 0 ? list[found].id : 0;
    t.home = own >= 0 ? list[own].id : x.activeWindow();
    return t;
}

void HandFocusBack(XDesktop& x, const Target& t) {
    if (t.home) x.focus(t.home);
}

// Opens the display (and XTest for keys) and finds the target; false after
// reporting NG when any of it fails. Focus goes back on a missing window only.
bool Prepare(XDesktop& x, const CurrentLine& line, BuiltinVariables& vars, bool keys, Target& t) {
    std::string why;
    if (!x.open(why) || (keys && !x.canSendKeys(why))) {
        Fail(vars, why);
        return false;
    }
    t = FindTarget(x, line.p(1));
    if (t.window) return true;
    Fail(vars, WindowNotFound(line.p(1)));
    HandFocusBack(x, t);
    return false;
}

void ShellOrOpen(const std::string& file, const std::string& args, const std::string& dir,
                 BuiltinVariables& vars) {
    if (ShellOpen(file, args, dir))
        vars[kVar1] = "OK";
    else
        Fail(vars, StartFailed(file));
    XDesktop x;
    std::string why;
    if (!x.open(why)) return;  // nothing to hand the focus back to
    std::vector<WindowEntry> list = x.topLevels();
    int own = x.ownWindow(list);
    if (own >= 0) x.focus(list[own].id);
}

// Focuses the target for keys; false after reporting NG when it will not take the focus.
bool FocusForKeys(XDesktop& x, const Target& t, const CurrentLine& line, BuiltinVariables& vars) {
    if (x.focus(t.window)) return true;
    Fail(vars, NoFocus(line.p(1)));
    HandFocusBack(x, t);
    return false;
}

bool HasWord(const std::string& lowered, const char* word) {
    return FindMbs(lowered, word) != std::string::npos;
}

}  // namespace

void ShellCommand(const CurrentLine& line, BuiltinVariables& vars) {
    std::string args = line.paramCount >= 2 ? line.p(2) : std::string();
    std::string dir = line.paramCount >= 3 ? line.p(3) : std::string();
    ShellOrOpen(line.p(1), args, dir, vars);
}

void OpenUrlCommand(const CurrentLine& line, BuiltinVariables& vars) {
    ShellOrOpen(line.p(1), "", "", vars);
}

void SendKeyCommand(const CurrentLine& line, BuiltinVariables& vars) {
    XDesktop x;
    Target t;
    if (!Prepare(x, line, vars, true, t) || !FocusForKeys(x, t, line, vars)) return;
    vars[kVar1] = "OK";
    // The key is the byte less 0x20: a script's text names keys, not characters.
    for (unsigned char b : line.p(2)) {
        std::uint8_t code = static_cast<std::uint8_t>(b - 0x20);
        if (code == 0 || code == 0xFF) continue;
        // The user may click elsewhere while a long text is typed.
        if (x.activeWindow() != t.window) {
            Fail(vars, NoFocus(line.p(1)));
            break;
        }
        x.tapKey(code);
    }
    HandFocusBack(x, t);
}

void SendKeyCodeCommand(const CurrentLine& line, BuiltinVariables& vars) {
    std::string mods = line.paramCount >= 3 ? ToLowerAscii(line.p(3)) : std::string();
    const bool shift = HasWord(mods, "shift"), alt = HasWord(mods, "alt"),
               ctrl = HasWord(mods, "ctrl");
    std::uint8_t code = static_cast<std::uint8_t>(ToInt(line.p(2)) & 0xFF);

    XDesktop x;
    Target t;
    if (!Prepare(x, line, vars, true, t) || !FocusForKeys(x, t, line, vars)) return;
    if (code != 0 && code != 0xFF) {
        constexpr std::uint8_t kShift = 0x10, kCtrl = 0x11, kAlt = 0x12;
        if (shift) x.pressKey(kShift, true);
        if (alt) x.pressKey(kAlt, true);
        if (ctrl) x.pressKey(kCtrl, true);
        x.tapKey(code);
        if (shift) x.pressKey(kShift, false);
        if (alt) x.pressKey(kAlt, false);
        if (ctrl) x.pressKey(kCtrl, false);
        x.flush();
    }
    vars[kVar1] = "OK";
    HandFocusBack(x, t);
}

void SendCloseCommand(const CurrentLine& line, BuiltinVariables& vars) {
    XDesktop x;
    Target t;
    if (!Prepare(x, line, vars, false, t)) return;
    x.requestClose(t.window);
    vars[kVar1] = "OK";
    HandFocusBack(x, t);
}

void RegisterRunOnceCommand(const CurrentLine& line, const std::string& program) {
    std::string argument = line.paramCount >= 1 ? Cp932ToUtf8(line.p(1)) : std::string();
    const char* home = std::getenv("VELMORA_HOME");
    // The outcome is not reported to the script.
    WriteRunOnceEntry(RunOnceEntryPath(), program, argument, home ? home : "");
}

DesktopCommands::DesktopCommands(Engine& engine) {
    engine.addCommands(DesktopCommandTable());
}

std::vector<Command> DesktopCommandTable() {
    return {
        {"shell", 1, [](Engine& e) { ShellCommand(e.line, e.vars); }},
        {"openurl", 1, [](Engine& e) { OpenUrlCommand(e.line, e.vars); }},
        {"sendkey", 2, [](Engine& e) { SendKeyCommand(e.line, e.vars); }},
        {"sendkeycode", 2, [](Engine& e) { SendKeyCodeCommand(e.line, e.vars); }},
        {"sendclose", 1, [](Engine& e) { SendCloseCommand(e.line, e.vars); }},
        {"registerrunonce", 0, [](Engine& e) { RegisterRunOnceCommand(e.line, ExecutablePath()); }},
    };
}

}  // namespace velmora
