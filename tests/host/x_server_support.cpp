// Test helpers: test windows, processes, files.
#include "x_server_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "host/x_desktop.h"

namespace velmora::test {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text, int mode) {
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

pid_t Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

bool IsManaged(unsigned long window) {
    XDesktop x;
    std::string why;
    if (!window || !x.open(why)) return false;
    for (const auto& e : x.topLevels())
        if (e.id == window && e.visible) return true;
    return false;
}

std::vector<std::string> TestWindow::keyLines() const {
    std::vector<std::string> out;
    for (auto& l : Lines(text()))
        if (l.rfind("press ", 0) == 0 || l.rfind("release ", 0) == 0) out.push_back(l);
    return out;
}

bool TestWindow::alive() const {
    return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0;
}

TestWindow OpenTestWindow(const std::string& dir, const std::string& title,
                          const std::vector<std::string>& options, int timeoutMs) {
    static int serial = 0;
    TestWindow w;
    w.log = dir + "/window" + std::to_string(++serial) + ".log";
    std::vector<std::string> argv{std::string(VELMORA_BIN_DIR) + "/velmora_test_window", "--title",
                                  title, "--log", w.log};
    argv.insert(argv.end(), options.begin(), options.end());
    w.pid = Spawn(argv);
    WaitFor([&] { return w.text().rfind("ready ", 0) == 0; }, timeoutMs);
    std::string text = w.text();
    if (text.rfind("ready ", 0) == 0) w.id = std::strtoul(text.c_str() + 6, nullptr, 16);
    return w;
}

// A window manager stacks new windows as its focus rules say; the below and above
// layers pin the target to the bottom and ours to the top. A bare server stacks
// in the order of mapping.
ManyWindows::ManyWindows(int fillers) : d_(XOpenDisplay(nullptr)) {
    beyond_ = make("Far beyond", "_NET_WM_STATE_BELOW");
    target_ = make("Far target", nullptr);
    for (int i = 0; i < fillers; ++i) make("filler", nullptr);
    own_ = make("velmora", "_NET_WM_STATE_ABOVE");
    long pid = getpid();
    XChangeProperty(d_, own_, XInternAtom(d_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    XSync(d_, False);
}

ManyWindows::~ManyWindows() {
    XCloseDisplay(d_);
}

unsigned long ManyWindows::make(const char* title, const char* state) {
    Window w = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 20, 20, 0, 0, 0);
    XStoreName(d_, w, title);
    // A position of the user's own spares the window manager its placement search.
    XSizeHints hints{};
    hints.flags = USPosition;
    XSetWMNormalHints(d_, w, &hints);
    if (state) {
        Atom a = XInternAtom(d_, state, False);
        XChangeProperty(d_, w, XInternAtom(d_, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&a), 1);
    }
    XMapWindow(d_, w);
    return w;
}

int CountZombieChildren() {
    int zombies = 0;
    const std::string me = std::to_string(getpid());
    DIR* proc = opendir("/proc");
    while (dirent* e = proc ? readdir(proc) : nullptr) {
        std::string stat = ReadFile(std::string("/proc/") + e->d_name + "/stat");
        size_t paren = stat.rfind(')');
        if (paren == std::string::npos) continue;
        std::istringstream fields(stat.substr(paren + 2));
        std::string state, ppid;
        fields >> state >> ppid;
        if (state == "Z" && ppid == me) ++zombies;
    }
    if (proc) closedir(proc);
    return zombies;
}

}  // namespace velmora::test

namespace velmora::test {

namespace {

// One server per mode for the whole test program; started on first use.
XServer* ServerFor(bool wm) {
    static std::unique_ptr<XServer> servers[2];
    static bool failed[2] = {false, false};
    auto& s = servers[wm ? 1 : 0];
    if (!s && !failed[wm ? 1 : 0]) {
        s = std::make_unique<XServer>();
        if (!s->start(wm ? WindowManager::Openbox : WindowManager::Bare)) {
            s.reset();
            failed[wm ? 1 : 0] = true;
        }
    }
    return s.get();
}

}  // namespace

void XDisplayTest::SetUp() {
    XServer* server = ServerFor(GetParam());
    ASSERT_NE(server, nullptr) << (GetParam() ? "Xvfb with openbox" : "Xvfb") << " did not start";
    setenv("DISPLAY", server->display().c_str(), 1);
}

void XDisplayTest::TearDown() {
    for (auto& w : windows_) StopChild(w.pid);
}

TestWindow& XDisplayTest::open(const std::string& title, const std::vector<std::string>& options) {
    windows_.push_back(OpenTestWindow(dir_.path(), title, options));
    TestWindow& w = windows_.back();
    EXPECT_NE(w.id, 0u) << "test window " << title << " did not start";
    // The window manager lists the window a little after it is mapped.
    bool hidden = std::find(options.begin(), options.end(), "--hidden") != options.end();
    if (!hidden) WaitFor([&] { return IsManaged(w.id); });
    // openbox then hands the new window the focus; a test that moves the focus itself
    // must not race that late hand-over. No failure here if it never comes.
    if (!hidden && GetParam()) WaitFor([&] { return active() == w.id; }, 3000);
    return w;
}

TestWindow& XDisplayTest::openOwn() {
    return open("velmora", {"--pid", std::to_string(getpid())});
}

unsigned long XDisplayTest::active() {
    XDesktop x;
    std::string why;
    return x.open(why) ? x.activeWindow() : 0;
}

std::string ModeName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Openbox" : "BareX";
}

}  // namespace velmora::test
