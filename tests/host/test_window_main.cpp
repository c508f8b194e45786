// velmora_test_window: a plain Xlib window for the desktop command tests. It shows a
// titled window and writes what it receives to a log, one line each:
//   ready <window id>        once mapped (at once with --hidden)
//   press <keysym> <state>   a key press, keysym of the unshifted level, modifier mask
//   release <keysym> <state>
//   close                    a WM_DELETE_WINDOW request; the program then exits
//                            unless --refuse-close (it keeps its work, as if asked to save)
// Options: --title <UTF-8>, --log <file>, --hidden, --refuse-close, --no-delete (no
// WM_DELETE_WINDOW protocol), --legacy-name (WM_NAME only, no _NET_WM_NAME),
// --pid <n> (the _NET_WM_PID to claim; default our own).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Options {
    std::string title = "velmora test window";
    std::string log = "/dev/stdout";
    bool hidden = false, refuseClose = false, noDelete = false, legacyName = false;
    long pid = static_cast<long>(getpid());
};

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--title" && hasValue)
            o.title = argv[++i];
        else if (a == "--log" && hasValue)
            o.log = argv[++i];
        else if (a == "--pid" && hasValue)
            o.pid = std::atol(argv[++i]);
        else if (a == "--hidden")
            o.hidden = true;
        else if (a == "--refuse-close")
            o.refuseClose = true;
        else if (a == "--no-delete")
            o.noDelete = true;
        else if (a == "--legacy-name")
            o.legacyName = true;
        else
            return false;
    }
    return true;
}

void SetTitle(Display* d, Window w, const Options& o) {
    Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    auto bytes = reinterpret_cast<const unsigned char*>(o.title.data());
    int n = static_cast<int>(o.title.size());
    XChangeProperty(d, w, XA_WM_NAME, o.legacyName ? XA_STRING : utf8, 8, PropModeReplace, bytes,
                    n);
    if (!o.legacyName)
        XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                        bytes, n);
}

void SetIdentity(Display* d, Window w, const Options& o) {
    long pid = o.pid;
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
    XClassHint hint{const_cast<char*>("velmora_test_window"),
                    const_cast<char*>("VelmoraTestWindow")};
    XSetClassHint(d, w, &hint);
    XWMHints wm{};
    wm.flags = InputHint;
    wm.input = True;
    XSetWMHints(d, w, &wm);
    if (!o.noDelete) {
        Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(d, w, &del, 1);
    }
}

void LogKey(FILE* log, const char* what, XKeyEvent& e) {
    KeySym sym = XLookupKeysym(&e, 0);
    const char* name = XKeysymToString(sym);
    std::fprintf(log, "%s %s %u\n", what, name ? name : "NoSymbol", e.state);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: velmora_test_window [--title T] [--log F] [--hidden] "
                     "[--refuse-close] [--no-delete] [--legacy-name] [--pid N]\n");
        return 2;
    }
    FILE* log = std::fopen(o.log.c_str(), "a");
    Display* d = XOpenDisplay(nullptr);
    if (!log || !d) return 1;
    setvbuf(log, nullptr, _IOLBF, 0);

    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 10, 240, 120, 1, BlackPixel(d, 0),
                                   WhitePixel(d, 0));
    SetTitle(d, w, o);
    SetIdentity(d, w, o);
    XSelectInput(d, w, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    if (o.hidden) {
        std::fprintf(log, "ready 0x%lx\n", w);
    } else {
        XMapWindow(d, w);
    }
    XFlush(d);

    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == MapNotify && e.xmap.window == w) {
            std::fprintf(log, "ready 0x%lx\n", w);
        } else if (e.type == KeyPress) {
            LogKey(log, "press", e.xkey);
        } else if (e.type == KeyRelease) {
            LogKey(log, "release", e.xkey);
        } else if (e.type == ClientMessage && e.xclient.message_type == protocols &&
                   static_cast<Atom>(e.xclient.data.l[0]) == del) {
            std::fprintf(log, "close\n");
            if (!o.refuseClose) break;
        }
    }
    XDestroyWindow(d, w);
    XCloseDisplay(d);
    return 0;
}
