// Draws CP932 text into a layer through a QImage that shares the layer's pixels.
#include "window/qt_text_painter.h"

#include <QImage>
#include <QPainter>

#include "window/qt_cp932.h"

namespace velmora {

QFont TextLayerFont() {
    QFont f(QStringLiteral("IPAGothic"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(16);  // the height of the classic system font; fits the 20-pixel choices
    return f;
}

void QtTextPainter::drawText(Layer& layer, const Rect& area, const std::string& cp932) {
    if (layer.empty() || area.width() <= 0 || area.height() <= 0) return;
    QImage image(layer.pixels.data(), layer.width(), layer.height(), layer.stride(),
                 QImage::Format_BGR888);
    // The painter works in window pixels; the glyphs are rendered at the layer's density.
    image.setDevicePixelRatio(layer.scale());
    // Scripts break lines with "/ret" (a line feed) or with "\r\n" written by hand.
    QString text = FromCp932(cp932);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QPainter p(&image);
    const QRect r(area.left, area.top, area.width(), area.height());
    p.setClipRect(r);
    p.setFont(font_);
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
}

}  // namespace velmora
