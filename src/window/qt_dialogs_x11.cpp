// The caption of a dialog on X, set past Qt, which never leaves a title empty.
#include <QGuiApplication>
#include <QWidget>

#include "window/qt_dialogs.h"

// Xlib last: its macros (None, Bool, KeyPress...) would break the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velmora {

void ClearNativeCaption(QWidget& window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    ::Display* dpy = x11 ? x11->display() : nullptr;
    if (!dpy) return;
    const Window id = window.winId();
    static const unsigned char kNothing = 0;
    XChangeProperty(dpy, id, XInternAtom(dpy, "_NET_WM_NAME", False),
                    XInternAtom(dpy, "UTF8_STRING", False), 8, PropModeReplace, &kNothing, 0);
    XChangeProperty(dpy, id, XA_WM_NAME, XA_STRING, 8, PropModeReplace, &kNothing, 0);
    XFlush(dpy);
}

}  // namespace velmora
