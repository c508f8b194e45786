// What Qt does not say to X about dialogs: an empty caption (Qt never leaves a title
// empty), and the window type that keeps openbox's frame without minimise.
#include <QGuiApplication>
#include <QWidget>

#include "window/qt_dialogs.h"

// Xlib last: its macros (None, Bool, KeyPress...) would break the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

namespace velmora {

namespace {

::Display* XDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

// The UTF-8 text property of a window; empty when it has none.
std::string Utf8Property(::Display* dpy, ::Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(dpy, window, XInternAtom(dpy, name, False), 0, 256, False,
                           XInternAtom(dpy, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 8)
        text.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    return text;
}

// The name the running window manager gives itself on its check window; empty when none
// says.
std::string WindowManagerName(::Display* dpy) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ::Window check = 0;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy),
                           XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data && format == 32 && count == 1)
        check = *reinterpret_cast<::Window*>(data);
    if (data) XFree(data);
    return check ? Utf8Property(dpy, check, "_NET_WM_NAME") : std::string();
}

}  // namespace

void AnnounceFixedFrame(QWidget& window) {
    ::Display* dpy = XDisplay();
    if (!dpy || WindowManagerName(dpy) != "Openbox") return;
    // The first type openbox knows wins; the dialog type follows for anything reading on.
    const Atom types[] = {XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_TOOLBAR", False),
                          XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DIALOG", False)};
    XChangeProperty(dpy, window.winId(), XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False), XA_ATOM,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(types), 2);
    XFlush(dpy);
}

void ClearNativeCaption(QWidget& window) {
    ::Display* dpy = XDisplay();
    if (!dpy) return;
    const Window id = window.winId();
    static const unsigned char kNothing = 0;
    XChangeProperty(dpy, id, XInternAtom(dpy, "_NET_WM_NAME", False),
                    XInternAtom(dpy, "UTF8_STRING", False), 8, PropModeReplace, &kNothing, 0);
    XChangeProperty(dpy, id, XA_WM_NAME, XA_STRING, 8, PropModeReplace, &kNothing, 0);
    XFlush(dpy);
}

}  // namespace velmora
