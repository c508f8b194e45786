// Private Xvfb, program process and an XTest client.
#include "x11_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace velmora::test {

ProgramRun::ProgramRun(const std::string& display, const std::string& home) {
    pid_ = fork();
    if (pid_ == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("VELMORA_HOME", home.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execl(VELMORA_BIN_DIR "/velmora", "velmora", static_cast<char*>(nullptr));
        _exit(127);
    }
}

ProgramRun::~ProgramRun() {
    StopChild(pid_);
}

bool ProgramRun::waitExit(int timeoutMs, int* status) {
    int st = 0;
    const bool ended = WaitUntil([&] { return waitpid(pid_, &st, WNOHANG) == pid_; }, timeoutMs);
    if (ended) {
        pid_ = -1;
        if (status) *status = st;
    }
    return ended;
}

bool ProgramRun::running() {
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

XClient::XClient(const std::string& display) : dpy_(XOpenDisplay(display.c_str())) {}

XClient::~XClient() {
    if (dpy_) XCloseDisplay(dpy_);
}

void XClient::showBackdrop(std::uint32_t rgb) {
    const int screen = DefaultScreen(dpy_);
    XSetWindowAttributes a{};
    a.background_pixel = rgb;  // a 24-bit TrueColor visual
    a.override_redirect = True;
    backdrop_ = XCreateWindow(dpy_, RootWindow(dpy_, screen), 0, 0, DisplayWidth(dpy_, screen),
                              DisplayHeight(dpy_, screen), 0, CopyFromParent, InputOutput,
                              CopyFromParent, CWBackPixel | CWOverrideRedirect, &a);
    XMapWindow(dpy_, backdrop_);
    XSync(dpy_, False);
}

XID XClient::findWindow(const std::string& title, int timeoutMs) {
    const Atom netName = XInternAtom(dpy_, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
    XID found = 0;
    WaitUntil(
        [&] {
            Window root, parent, *children = nullptr;
            unsigned n = 0;
            XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &n);
            for (unsigned i = 0; i < n && !found; ++i) {
                XWindowAttributes wa;
                if (!XGetWindowAttributes(dpy_, children[i], &wa) || wa.map_state != IsViewable)
                    continue;
                Atom type;
                int format;
                unsigned long count, after;
                unsigned char* data = nullptr;
                if (XGetWindowProperty(dpy_, children[i], netName, 0, 1024, False, utf8, &type,
                                       &format, &count, &after, &data) == Success &&
                    data) {
                    if (std::string(reinterpret_cast<char*>(data), count) == title)
                        found = children[i];
                    XFree(data);
                }
            }
            if (children) XFree(children);
            return found != 0;
        },
        timeoutMs);
    return found;
}

bool XClient::exists(XID window) {
    XWindowAttributes wa;
    XSync(dpy_, False);
    auto old = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    const bool viewable = XGetWindowAttributes(dpy_, window, &wa) && wa.map_state == IsViewable;
    XSetErrorHandler(old);
    return viewable;
}

ScreenRect XClient::geometry(XID window) {
    XWindowAttributes wa;
    XGetWindowAttributes(dpy_, window, &wa);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(dpy_, window, DefaultRootWindow(dpy_), 0, 0, &x, &y, &child);
    return ScreenRect{x, y, wa.width, wa.height};
}

std::uint32_t XClient::pixel(int x, int y) {
    XImage* img = XGetImage(dpy_, DefaultRootWindow(dpy_), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img) return 0xFFFFFFFF;
    const unsigned long p = XGetPixel(img, 0, 0);
    XDestroyImage(img);
    return static_cast<std::uint32_t>(p & 0xFFFFFF);
}

ScreenShot XClient::grab(const ScreenRect& area) {
    ScreenShot shot;
    XImage* img = XGetImage(dpy_, DefaultRootWindow(dpy_), area.x, area.y, unsigned(area.width),
                            unsigned(area.height), AllPlanes, ZPixmap);
    if (!img) return shot;
    shot.width = area.width;
    shot.height = area.height;
    shot.rgb.reserve(size_t(area.width) * area.height);
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            shot.rgb.push_back(std::uint32_t(XGetPixel(img, x, y) & 0xFFFFFF));
    XDestroyImage(img);
    return shot;
}

std::vector<bool> XClient::shape(XID window, int width, int height) {
    std::vector<bool> in(size_t(width) * height, false);
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(dpy_, window, ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i)
        for (int y = std::max(0, int(rects[i].y));
             y < std::min(height, rects[i].y + rects[i].height); ++y)
            for (int x = std::max(0, int(rects[i].x));
                 x < std::min(width, rects[i].x + rects[i].width); ++x)
                in[size_t(y) * width + x] = true;
    if (rects) XFree(rects);
    return in;
}

int XClient::darkPixels(int left, int top, int right, int bottom) {
    const ScreenShot shot = grab({left, top, right - left, bottom - top});
    if (shot.rgb.empty()) return -1;
    int n = 0;
    for (const std::uint32_t p : shot.rgb)
        if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 128) ++n;
    return n;
}

void XClient::focus(XID window) {
    XSetInputFocus(dpy_, window, RevertToParent, CurrentTime);
    XSync(dpy_, False);
}

void XClient::requestClose(XID window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(dpy_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy_, window, False, NoEventMask, &e);
    XSync(dpy_, False);
}

void XClient::move(int x, int y) {
    XTestFakeMotionEvent(dpy_, -1, x, y, 0);
    XSync(dpy_, False);
}

void XClient::click(int x, int y, unsigned button) {
    XTestFakeMotionEvent(dpy_, -1, x, y, 0);
    XSync(dpy_, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    XTestFakeButtonEvent(dpy_, button, True, 0);
    XTestFakeButtonEvent(dpy_, button, False, 30);
    XSync(dpy_, False);
}

void XClient::key(const char* keysymName) {
    const KeyCode code = XKeysymToKeycode(dpy_, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(dpy_, code, True, 0);
    XTestFakeKeyEvent(dpy_, code, False, 30);
    XSync(dpy_, False);
}

}  // namespace velmora::test
