// The window's shape on the display server. Qt hands a window mask to X as one list of
// rectangles; past 32,767 of them the list no longer fits an ordinary request and the
// window ends up with an empty shape. A 1-bit mask has no such limit: its size depends
// on the window, not on how finely the shape is cut.
#include <QGuiApplication>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "window/qt_skin.h"
// Xlib last: its macros (None, Status, Bool) would clash with the declarations above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace velmora {

namespace {

// A skin coordinate in the server's pixels. Edges are rounded, not sizes, so rectangles
// that touch in the skin still touch at a fractional scale.
int ToDevice(int v, qreal scale) {
    return int(std::lround(v * scale));
}

// The region, scaled to the server's pixels, as a 1-bit picture of the given size,
// least significant bit first.
XImage* MaskImage(::Display* dpy, const QRegion& shape, qreal scale, int width, int height) {
    const int bytesPerLine = (width + 7) / 8;
    char* bits = static_cast<char*>(std::calloc(size_t(bytesPerLine) * height, 1));
    if (!bits) return nullptr;
    for (const QRect& r : shape) {
        const int left = std::max(ToDevice(r.left(), scale), 0);
        const int right = std::min(ToDevice(r.right() + 1, scale), width);
        const int bottom = std::min(ToDevice(r.bottom() + 1, scale), height);
        for (int y = std::max(ToDevice(r.top(), scale), 0); y < bottom; ++y) {
            char* row = bits + size_t(y) * bytesPerLine;
            for (int x = left; x < right; ++x) row[x >> 3] |= char(1 << (x & 7));
        }
    }
    XImage* image = XCreateImage(dpy, DefaultVisual(dpy, DefaultScreen(dpy)), 1, XYBitmap, 0, bits,
                                 unsigned(width), unsigned(height), 8, bytesPerLine);
    if (!image) {
        std::free(bits);
        return nullptr;
    }
    image->byte_order = LSBFirst;
    image->bitmap_bit_order = LSBFirst;
    return image;
}

bool ApplyMask(::Display* dpy, ::Window window, const QRegion& shape, qreal scale) {
    // The mask covers the shape's extent; whatever lies outside it is cut as well.
    const QRect extent = shape.boundingRect();
    const int width = std::max(1, ToDevice(extent.right() + 1, scale));
    const int height = std::max(1, ToDevice(extent.bottom() + 1, scale));
    XImage* image = MaskImage(dpy, shape, scale, width, height);
    if (!image) return false;
    const Pixmap mask = XCreatePixmap(dpy, window, unsigned(width), unsigned(height), 1);
    XGCValues values{};
    values.foreground = 1;
    values.background = 0;
    const GC gc = XCreateGC(dpy, mask, GCForeground | GCBackground, &values);
    // Xlib splits a picture too large for one request into several.
    XPutImage(dpy, mask, gc, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
    // What lies beneath a shown window is repainted where the new shape uncovers it.
    // Through a finely cut old shape that repaint costs the server seconds; emptied first,
    // the window uncovers one plain rectangle, and the new shape then only covers.
    XShapeCombineRectangles(dpy, window, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, YXBanded);
    XShapeCombineMask(dpy, window, ShapeBounding, 0, 0, mask, ShapeSet);
    XFreeGC(dpy, gc);
    XFreePixmap(dpy, mask);
    XDestroyImage(image);  // frees the bits as well
    XFlush(dpy);
    return true;
}

}  // namespace

void ApplyWindowShape(QWidget& window, const QRegion& shape) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    ::Display* dpy = x11 ? x11->display() : nullptr;
    int event = 0, error = 0;
    if (dpy && XShapeQueryExtension(dpy, &event, &error)) {
        // Asking for the native window would create it before windows_pos places it, and
        // window managers then place it themselves; the first show applies the shape.
        if (!window.testAttribute(Qt::WA_WState_Created)) return;
        if (ApplyMask(dpy, ::Window(window.winId()), shape, window.devicePixelRatioF())) return;
    }
    // Elsewhere the platform takes the region. An empty mask would mean "no shape": a
    // skin that is all transparent colour must leave nothing visible, so the mask is a
    // pixel outside the window instead.
    window.setMask(shape.isEmpty() ? QRegion(-1, -1, 1, 1) : shape);
}

}  // namespace velmora
