// Draws the sample's skin: a rounded parchment panel with a title band, a text area,
// two buttons and a round hole, on magenta, the colour the window cuts away. The shape's
// edges are drawn without antialiasing so that no pinkish fringe survives the cut.
//   velmora_sample_skin OUT.bmp
#include <QApplication>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kCut(255, 0, 255);
const QColor kInk(0x2b, 0x4c, 0x7e);

void Button(QPainter& p, const QRect& r, const QString& label) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0xdc, 0xe6, 0xf4));
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.setFont(QFont(QStringLiteral("IPAPGothic"), 11));
    p.setPen(kInk);
    p.drawText(r, Qt::AlignCenter, label);
}

QImage Draw() {
    QImage img(440, 320, QImage::Format_RGB32);
    img.fill(kCut);
    QPainter p(&img);

    // The outline: hard edges, since every non-magenta pixel belongs to the window.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRect(0, 0, 440, 320), 28, 28);
    QLinearGradient paper(0, 40, 0, 310);
    paper.setColorAt(0, QColor(0xfb, 0xf6, 0xe8));
    paper.setColorAt(1, QColor(0xef, 0xe4, 0xc8));
    p.setBrush(paper);
    p.drawRoundedRect(QRect(6, 38, 428, 276), 22, 22);

    // Title band and the light text area.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0xf6, 0xf1, 0xe3));
    p.setFont(QFont(QStringLiteral("IPAPGothic"), 12, QFont::Bold));
    p.drawText(QRect(24, 4, 392, 32), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromUtf8("velmora  サンプル"));
    p.setPen(QPen(QColor(0xc9, 0xb9, 0x8f), 1));
    p.setBrush(QColor(0xff, 0xfd, 0xf6));
    p.drawRoundedRect(QRectF(18.5, 44.5, 403, 98), 6, 6);

    // A ring around the hole, then the hole itself in the cut colour, hard-edged.
    p.setPen(QPen(kInk, 4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(372, 198), 34, 34);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(kCut);
    p.drawEllipse(QPoint(372, 198), 30, 30);

    Button(p, QRect(24, 276, 106, 26), QString::fromUtf8("最初から"));
    Button(p, QRect(310, 276, 106, 26), QString::fromUtf8("終了"));
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_sample_skin OUT.bmp\n");
        return 2;
    }
    QApplication app(argc, argv);  // fonts need it
    if (!Draw()
             .convertToFormat(QImage::Format_RGB888)
             .save(QString::fromLocal8Bit(argv[1]), "BMP")) {
        std::fprintf(stderr, "velmora_sample_skin: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
