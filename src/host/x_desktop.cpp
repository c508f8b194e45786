// Xlib and XTest behind the desktop commands.
#include "host/x_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <thread>

#include "engine/text.h"
#include "host/virtual_keys.h"

namespace velmora {

namespace {

constexpr int kFocusAttempts = 4;
constexpr auto kFocusPause = std::chrono::milliseconds(100);
constexpr auto kCloseWait = std::chrono::milliseconds(1000);
constexpr long kMaxTitleLongs = 1024;  // 4 KiB of title is plenty

VELMORA_CP932(NoDisplay, "X ディスプレイがありません（DISPLAY が設定されていません）")
VELMORA_CP932(
    WaylandOnly,
    "Wayland だけのセッションでは他のウィンドウを扱えません（X ディスプレイがありません）")
VELMORA_CP932_FORMAT(CannotConnect, (const char* name), "X ディスプレイ %s に接続できません", name)
VELMORA_CP932(NoXTest, "X サーバーに XTEST 拡張がないためキーを送れません")

// Windows vanish while we look at them; their errors must not end the program.
// The previous handler (Qt has one) comes back when the last connection closes.
XErrorHandler gPreviousHandler = nullptr;
int gOpenConnections = 0;
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

std::string Latin1ToUtf8(const unsigned char* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < 0x80) {
            out += static_cast<char>(s[i]);
        } else {
            out += static_cast<char>(0xC0 | (s[i] >> 6));
            out += static_cast<char>(0x80 | (s[i] & 0x3F));
        }
    }
    return out;
}

}  // namespace

XDesktop::~XDesktop() {
    if (!dpy_) return;
    XCloseDisplay(dpy_);
    if (--gOpenConnections == 0) XSetErrorHandler(gPreviousHandler);
}

bool XDesktop::open(std::string& why) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        why = wayland && *wayland ? WaylandOnly() : NoDisplay();
        return false;
    }
    dpy_ = XOpenDisplay(name);
    if (!dpy_) {
        why = CannotConnect(name);
        return false;
    }
    if (gOpenConnections++ == 0) gPreviousHandler = XSetErrorHandler(IgnoreError);
    root_ = DefaultRootWindow(dpy_);
    std::vector<unsigned long> check, again;
    ewmh_ = readWindows("_NET_SUPPORTING_WM_CHECK", root_, check) && !check.empty() &&
            readWindows("_NET_SUPPORTING_WM_CHECK", check[0], again) && !again.empty() &&
            again[0] == check[0];
    return true;
}

bool XDesktop::canSendKeys(std::string& why) {
    int event, error, major, minor;
    if (XTestQueryExtension(dpy_, &event, &error, &major, &minor)) return true;
    why = NoXTest();
    return false;
}

unsigned long XDesktop::atom(const char* name) {
    return XInternAtom(dpy_, name, False);
}

// A property of type WINDOW (or CARDINAL, same layout) read whole.
bool XDesktop::readWindows(const char* property, unsigned long window,
                           std::vector<unsigned long>& out) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy_, window, atom(property), 0, 0x100000, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) != Success)
        return false;
    bool ok = data && format == 32;
    if (ok) {
        auto* v = reinterpret_cast<unsigned long*>(data);  // Xlib widens 32-bit items to long
        out.assign(v, v + count);
    }
    if (data) XFree(data);
    return ok;
}

// The window that carries WM_STATE under a frame; the frame itself when there is no
// window manager to set WM_STATE.
unsigned long XDesktop::clientOf(unsigned long frame) {
    Atom wmState = atom("WM_STATE");
    std::deque<Window> queue{frame};
    for (int visited = 0; !queue.empty() && visited < 64; ++visited) {
        Window w = queue.front();
        queue.pop_front();
        std::vector<unsigned long> state;
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy_, w, wmState, 0, 0, False, AnyPropertyType, &type, &format,
                               &count, &after, &data) == Success &&
            type != None) {
            if (data) XFree(data);
            return w;
        }
        if (data) XFree(data);
        Window rootRet, parent, *children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(dpy_, w, &rootRet, &parent, &children, &n)) {
            for (unsigned i = 0; i < n; ++i) queue.push_back(children[i]);
            if (children) XFree(children);
        }
    }
    return frame;
}

// Mapped on screen, or iconified (still a window the user has, as a minimised one).
bool XDesktop::isVisible(unsigned long window) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy_, window, &a)) return false;
    if (a.map_state == IsViewable) return true;
    std::vector<unsigned long> state;
    return readWindows("WM_STATE", window, state) && !state.empty() && state[0] == IconicState;
}

std::string XDesktop::titleOf(unsigned long window) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string utf8;
    bool found =
        XGetWindowProperty(dpy_, window, atom("_NET_WM_NAME"), 0, kMaxTitleLongs, False,
                           atom("UTF8_STRING"), &type, &format, &count, &after, &data) == Success &&
        data && format == 8 && type == atom("UTF8_STRING");
    if (found) utf8.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    XTextProperty prop{};
    if (!found && XGetWMName(dpy_, window, &prop) && prop.value) {
        if (prop.encoding == XA_STRING) {
            utf8 = Latin1ToUtf8(prop.value, prop.nitems);
        } else if (prop.encoding == atom("UTF8_STRING")) {
            utf8.assign(reinterpret_cast<char*>(prop.value), prop.nitems);
        } else {
            char** list = nullptr;
            int n = 0;
            if (Xutf8TextPropertyToTextList(dpy_, &prop, &list, &n) >= Success && n > 0)
                utf8 = list[0];
            if (list) XFreeStringList(list);
        }
        XFree(prop.value);
    }
    return Utf8ToCp932(utf8);
}

std::vector<WindowEntry> XDesktop::topLevels() {
    std::vector<unsigned long> ids;  // bottom to top
    bool fromWm = ewmh_ && readWindows("_NET_CLIENT_LIST_STACKING", root_, ids);
    if (!fromWm) {
        Window rootRet, parent, *children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(dpy_, root_, &rootRet, &parent, &children, &n)) {
            for (unsigned i = 0; i < n; ++i) ids.push_back(clientOf(children[i]));
            if (children) XFree(children);
        }
    }
    std::vector<WindowEntry> list;
    list.reserve(ids.size());
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        WindowEntry e;
        e.id = *it;
        e.visible = isVisible(e.id);
        if (e.visible) e.title = titleOf(e.id);  // hidden ones are skipped unread
        list.push_back(std::move(e));
    }
    return list;
}

int XDesktop::ownWindow(const std::vector<WindowEntry>& list) {
    const unsigned long pid = static_cast<unsigned long>(getpid());
    for (size_t i = 0; i < list.size(); ++i) {
        std::vector<unsigned long> v;
        if (list[i].visible && readWindows("_NET_WM_PID", list[i].id, v) && !v.empty() &&
            v[0] == pid)
            return static_cast<int>(i);
    }
    return -1;
}

unsigned long XDesktop::activeWindow() {
    if (ewmh_) {
        std::vector<unsigned long> v;
        return readWindows("_NET_ACTIVE_WINDOW", root_, v) && !v.empty() ? v[0] : 0;
    }
    Window w = None;
    int revert;
    XGetInputFocus(dpy_, &w, &revert);
    // The focus may sit on a child; the top-level window is the root's child.
    while (w != None && w != PointerRoot && w != root_) {
        Window rootRet, parent, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy_, w, &rootRet, &parent, &children, &n)) break;
        if (children) XFree(children);
        if (parent == root_) return clientOf(w);
        w = parent;
    }
    return 0;
}

void XDesktop::sendToRoot(unsigned long window, const char* message, long l0, long l1, long l2) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = atom(message);
    e.xclient.format = 32;
    e.xclient.data.l[0] = l0;
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

bool XDesktop::focus(unsigned long window) {
    for (int attempt = 0; attempt < kFocusAttempts; ++attempt) {
        if (ewmh_) {
            // Source 2 (a pager): window managers honour it without focus-stealing rules.
            sendToRoot(window, "_NET_ACTIVE_WINDOW", 2, CurrentTime, 0);
        } else {
            XRaiseWindow(dpy_, window);
            XSetInputFocus(dpy_, window, RevertToPointerRoot, CurrentTime);
        }
        XSync(dpy_, False);
        if (activeWindow() == window) return true;
        std::this_thread::sleep_for(kFocusPause);
    }
    return false;
}

bool XDesktop::pressKey(std::uint8_t code, bool down) {
    unsigned long keysym = KeysymForVirtualKey(code);
    KeyCode key = keysym ? XKeysymToKeycode(dpy_, keysym) : 0;
    if (!key) return false;
    XTestFakeKeyEvent(dpy_, key, down ? True : False, CurrentTime);
    return true;
}

void XDesktop::flush() {
    XSync(dpy_, False);
}

bool XDesktop::tapKey(std::uint8_t code) {
    if (!pressKey(code, true)) return false;
    pressKey(code, false);
    flush();
    return true;
}

bool XDesktop::wmSupports(const char* name) {
    std::vector<unsigned long> supported;
    if (!ewmh_ || !readWindows("_NET_SUPPORTED", root_, supported)) return false;
    unsigned long wanted = atom(name);
    for (unsigned long a : supported)
        if (a == wanted) return true;
    return false;
}

bool XDesktop::takesDeleteWindow(unsigned long window) {
    Atom* protocols = nullptr;
    int n = 0;
    bool takes = false;
    if (XGetWMProtocols(dpy_, window, &protocols, &n)) {
        Atom wanted = atom("WM_DELETE_WINDOW");
        for (int i = 0; i < n; ++i) takes = takes || protocols[i] == wanted;
        XFree(protocols);
    }
    return takes;
}

void XDesktop::requestClose(unsigned long window) {
    XSelectInput(dpy_, window, StructureNotifyMask);
    if (takesDeleteWindow(window)) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = window;
        e.xclient.message_type = atom("WM_PROTOCOLS");
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy_, window, False, NoEventMask, &e);
    } else if (wmSupports("_NET_CLOSE_WINDOW")) {
        sendToRoot(window, "_NET_CLOSE_WINDOW", CurrentTime, 2, 0);
    } else {
        XKillClient(dpy_, window);
    }
    XSync(dpy_, False);
    waitGone(window);
}

// A program that asks whether to save keeps its window; we stop waiting after a while.
bool XDesktop::waitGone(unsigned long window) {
    auto until = std::chrono::steady_clock::now() + kCloseWait;
    XEvent e;
    while (std::chrono::steady_clock::now() < until) {
        while (XPending(dpy_)) {
            XNextEvent(dpy_, &e);
            if ((e.type == DestroyNotify || e.type == UnmapNotify) && e.xany.window == window)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace velmora
