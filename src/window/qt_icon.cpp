// A quill over a sheet of script lines on a rounded tile.
#include "window/qt_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velmora {

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2b, 0x4c, 0x7e));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(QColor(0xf6, 0xf1, 0xe3));
    p.drawRect(QRectF(7, 6, 16, 21));
    p.setPen(QPen(QColor(0x7a, 0x86, 0x99), 1.2));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(9.5, 10.5 + 3.5 * i), QPointF(20.5, 10.5 + 3.5 * i));
    QPainterPath quill;
    quill.moveTo(13, 25);
    quill.cubicTo(16, 15, 22, 7, 29, 3);
    quill.cubicTo(27, 11, 21, 19, 13, 25);
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x10), 0.8));
    p.setBrush(QColor(0xe8, 0xb9, 0x3c));
    p.drawPath(quill);
    return pm;
}

}  // namespace

QIcon AppIcon() {
    // Not cached: pixmaps must not outlive the application object.
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128}) icon.addPixmap(DrawIcon(s));
    return icon;
}

}  // namespace velmora
