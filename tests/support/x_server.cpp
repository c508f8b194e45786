// Xvfb with -displayfd, openbox, and a probe window that shows when openbox really
// manages windows.
#include "x_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "process.h"
#include "wait.h"

namespace velmora::test {

namespace {

pid_t SpawnQuiet(const char* display, const std::vector<const char*>& argv) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (display) setenv("DISPLAY", display, 1);
        std::vector<char*> args;
        for (const char* a : argv) args.push_back(const_cast<char*>(a));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// openbox announces itself before it handles new windows, and a window mapped in
// between can wait for many seconds: a probe window that gets a frame shows it is ready.
bool ProbeIsManaged(::Display* d, int timeoutMs) {
    Window root = DefaultRootWindow(d);
    Window w = XCreateSimpleWindow(d, root, 0, 0, 20, 20, 0, 0, 0);
    XSizeHints hints{};
    hints.flags = USPosition;
    XSetWMNormalHints(d, w, &hints);
    XMapWindow(d, w);
    XSync(d, False);
    bool managed = WaitFor(
        [&] {
            Window r = 0, parent = 0, *children = nullptr;
            unsigned n = 0;
            if (!XQueryTree(d, w, &r, &parent, &children, &n)) return false;
            if (children) XFree(children);
            XWindowAttributes a{};
            return parent != root && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
        },
        timeoutMs);
    XDestroyWindow(d, w);
    XSync(d, False);
    return managed;
}

bool WindowManagerReady(const std::string& display) {
    ::Display* d = XOpenDisplay(display.c_str());
    if (!d) return false;
    Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    bool announced = WaitFor([&] {
        Atom type;
        int format;
        unsigned long count = 0, after;
        unsigned char* data = nullptr;
        bool found =
            XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            count == 1;
        if (data) XFree(data);
        return found;
    });
    bool ready = false;
    for (int attempt = 0; announced && !ready && attempt < 20; ++attempt)
        ready = ProbeIsManaged(d, 1000);
    XCloseDisplay(d);
    return ready;
}

}  // namespace

XServer::~XServer() {
    StopChild(wm_);
    StopChild(xvfb_);
}

bool XServer::start(WindowManager wm, int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    xvfb_ = fork();
    if (xvfb_ == 0) {
        close(fds[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 1);
        dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", wm == WindowManager::OneClient ? "-terminate" : "-noreset",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number once it accepts clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, kPatientMs) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
        StopChild(xvfb_);
        return false;
    }
    display_ = ":" + number;
    if (wm != WindowManager::Openbox) return true;
    wm_ = SpawnQuiet(display_.c_str(), {"openbox", "--sm-disable"});
    return WindowManagerReady(display_);
}

}  // namespace velmora::test
