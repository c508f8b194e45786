// Command-line options of the velmora executable.
#pragma once

#include <string>
#include <vector>

#include "app/trace.h"

namespace velmora {

struct Options {
    enum class Mode { Window, Console, Check, New, Help, Version, Error } mode = Mode::Window;
    std::vector<std::string> scriptArgs;  // passed on to the engine ("bookmark")
    std::string path;                     // the file of --check, the folder of --new
    std::string error;
    // --trace: every executed line and every event that moves the script, on stderr.
    TraceMode trace = TraceMode::Off;
    // --serve: browsers get the window, and no display is used; --mirror: browsers get it
    // beside the window on the desktop. Both listen at `serveAt`, "[ADDRESS:]PORT".
    enum class Browsers { Off, Serve, Mirror } browsers = Browsers::Off;
    std::string serveAt;
};

Options ParseOptions(int argc, char** argv);
const char* UsageText();

// The program folder, for a run and for `--check` alike: $VELMORA_HOME, else the
// executable's folder when it holds a code.txt, else the current folder (an installed
// velmora has no script beside it); ends in "/".
std::string FindProgramPath(const char* argv0);
// Why the program folder holds no script, naming the folders tried; empty when it does.
std::string ScriptNotFoundNote(const char* argv0);
// The running executable's full path.
std::string FindExecutable(const char* argv0);

// The Qt platform plug-in the window runs on. X is preferred wherever a server answers,
// XWayland included: only there can the window be placed, shaped to its skin and found
// by other programs. A platform the user named is kept.
struct PlatformChoice {
    std::string platform;  // for QT_QPA_PLATFORM; empty: leave the choice to Qt
    std::string error;     // not empty: there is nothing to show the window on
};
struct DisplayEnvironment {
    std::string qtPlatform;      // $QT_QPA_PLATFORM
    std::string xDisplay;        // $DISPLAY
    bool xReachable = false;     // a server answers at $DISPLAY
    std::string waylandDisplay;  // $WAYLAND_DISPLAY
    bool waylandPlugin = false;  // Qt's Wayland plug-in is installed
};
PlatformChoice ChoosePlatform(const DisplayEnvironment& env);
// True when an X server accepts a connection at the display name.
bool XServerAnswers(const std::string& name);

}  // namespace velmora
