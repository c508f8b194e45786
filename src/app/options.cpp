// Command-line parsing and the program folder.
#include "app/options.h"

#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/system_helpers.h"

namespace velmora {

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--console") == 0) {
            o.mode = Options::Mode::Console;
        } else if (std::strcmp(a, "--trace") == 0) {
            o.trace = TraceMode::StandardError;
        } else if (std::strcmp(a, "--serve") == 0 || std::strcmp(a, "--mirror") == 0) {
            const bool serve = a[2] == 's';
            if (i + 1 >= argc || o.browsers != Options::Browsers::Off) {
                o.mode = Options::Mode::Error;
                o.error = i + 1 >= argc ? std::string(a) + " needs [ADDRESS:]PORT"
                                        : "--serve and --mirror are given once, not both";
                return o;
            }
            o.browsers = serve ? Options::Browsers::Serve : Options::Browsers::Mirror;
            o.serveAt = argv[++i];
        } else if (std::strcmp(a, "--check") == 0) {
            o.mode = Options::Mode::Check;
            if (i + 1 < argc) o.path = argv[++i];
            return o;
        } else if (std::strcmp(a, "--new") == 0) {
            o.mode = Options::Mode::New;
            if (i + 1 >= argc) {
                o.mode = Options::Mode::Error;
                o.error = "--new needs a folder";
            } else {
                o.path = argv[++i];
            }
            return o;
        } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            o.mode = Options::Mode::Help;
            return o;
        } else if (std::strcmp(a, "--version") == 0) {
            o.mode = Options::Mode::Version;
            return o;
        } else if (std::strncmp(a, "--", 2) == 0 && o.scriptArgs.empty()) {
            o.mode = Options::Mode::Error;
            o.error = std::string("unknown option ") + a;
            return o;
        } else {
            o.scriptArgs.push_back(a);
        }
    }
    if (o.mode == Options::Mode::Console && o.browsers != Options::Browsers::Off) {
        o.mode = Options::Mode::Error;
        o.error = "--console has no window to serve; use --serve alone";
    }
    return o;
}

const char* UsageText() {
    return "usage: velmora [--console | --serve [ADDRESS:]PORT | --mirror [ADDRESS:]PORT]\n"
           "               [--trace] [bookmark]\n"
           "       velmora --check [FILE]\n"
           "       velmora --new DIR\n"
           "Runs code.txt of the program folder ($VELMORA_HOME, or the executable's folder).\n"
           "  --console   run without a window: text on standard output, answers from\n"
           "              standard input\n"
           "  --serve [ADDRESS:]PORT\n"
           "              run without a display and serve the window to browsers at\n"
           "              http://ADDRESS:PORT/TOKEN/ (printed at start, with a QR code);\n"
           "              ADDRESS is loopback unless given (0.0.0.0 or [::] for all),\n"
           "              PORT 0 takes any free port\n"
           "  --mirror [ADDRESS:]PORT\n"
           "              show the window and serve it to browsers as well; input from\n"
           "              either counts\n"
           "  --trace     write each executed line (file:line: text, after expansion)\n"
           "              and each event that moves the script to standard error\n"
           "  bookmark    start at the restart point saved by the script's bookmark command\n"
           "  --check     check a script without running it (default: code.txt of the\n"
           "              program folder); one line file:line: message for each finding,\n"
           "              exit status 1 if there is any; warnings do not count. In\n"
           "              Japanese under a Japanese locale\n"
           "  --new DIR   create a ready-to-run script folder DIR (never overwrites a file)\n"
           "  --help      show this text\n"
           "  --version   print the version\n"
           "Environment:\n"
           "  VELMORA_HOME              the program folder (default: the executable's folder)\n"
           "  VELMORA_WEB_PORT          port of the web command's server (default 80)\n"
           "  VELMORA_SIXNET_OSVERSION  the version record sixnet's osver reads instead of\n"
           "                            the system's, e.g. \"2,5,1,2600,\" (Windows XP)\n"
           "  VELMORA_SIXNET_HOSTNAME   the host name sixnet's getip looks up instead of\n"
           "                            the machine's\n"
           "  SSL_CERT_FILE             trusted certificates for download of https URLs\n"
           "  DISPLAY                   the X display; the window runs on X whenever a server\n"
           "                            answers there, also in a Wayland session (XWayland)\n"
           "  WAYLAND_DISPLAY           without an X display, the window is a Wayland client\n"
           "  QT_QPA_PLATFORM           Qt's platform for the window (xcb, wayland, offscreen),\n"
           "                            instead of velmora's own choice\n"
           "  QT_IM_MODULE              the input method of the input dialog (fcitx, ibus)\n"
           "  QT_SCALE_FACTOR           display scaling, as for any Qt program (--serve: 2\n"
           "                            unless set)\n"
           "  LANG, LC_ALL              the language of Qt's own dialog buttons\n"
           "  XDG_CONFIG_HOME           where registerrunonce puts its autostart entry\n"
           "Reference for script authors: scripting.md in velmora's documentation.\n";
}

std::string FindExecutable(const char* argv0) {
    std::string exe = ExecutablePath();
    return !exe.empty() ? exe : std::string(argv0 ? argv0 : "");
}

namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

bool HoldsScript(const std::string& folder) {
    struct stat st;
    return ::stat((folder + "code.txt").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string CurrentFolder() {
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? WithSlash(cwd) : "./";
}

}  // namespace

std::string FindProgramPath(const char* argv0) {
    if (const char* home = std::getenv("VELMORA_HOME"); home && *home) return WithSlash(home);
    const std::string own = FolderOf(FindExecutable(argv0));
    if (!own.empty() && HoldsScript(own)) return own;
    return CurrentFolder();
}

std::string ScriptNotFoundNote(const char* argv0) {
    const std::string folder = FindProgramPath(argv0);
    if (HoldsScript(folder)) return "";
    if (const char* home = std::getenv("VELMORA_HOME"); home && *home)
        return "no code.txt in " + folder + " (named by VELMORA_HOME)";
    const std::string own = FolderOf(FindExecutable(argv0));
    return "no code.txt in the program's folder " + own + " nor in the current folder " + folder +
           "; set VELMORA_HOME to the script's folder";
}

PlatformChoice ChoosePlatform(const DisplayEnvironment& env) {
    if (!env.qtPlatform.empty()) return {};
    if (env.xReachable) return {"xcb", ""};
    if (!env.waylandDisplay.empty()) {
        if (env.waylandPlugin) return {"wayland", ""};
        return {"",
                "no X display, and Qt's Wayland plug-in (Debian package qt6-wayland) "
                "is not installed"};
    }
    if (!env.xDisplay.empty()) return {"", "cannot connect to the X display " + env.xDisplay};
    return {"",
            "no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
            "set); --console runs without a window"};
}

bool XServerAnswers(const std::string& name) {
    if (name.empty()) return false;
    ::Display* dpy = XOpenDisplay(name.c_str());
    if (dpy) XCloseDisplay(dpy);
    return dpy != nullptr;
}

}  // namespace velmora
