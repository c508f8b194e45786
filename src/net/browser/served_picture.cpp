// Finding the changed tiles of the window and encoding them as transparent PNG pieces.
#include "net/browser/served_picture.h"

#include <QBuffer>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

bool TileDiffers(const std::uint8_t* was, const std::uint8_t* now, int stride, const QRect& t) {
    const size_t offset = static_cast<size_t>(t.x()) * 3;
    const size_t bytes = static_cast<size_t>(t.width()) * 3;
    for (int y = t.top(); y <= t.bottom(); ++y) {
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(stride) + offset;
        if (std::memcmp(was + row, now + row, bytes) != 0) return true;
    }
    return false;
}

}  // namespace

std::vector<QRect> ChangedRects(const std::uint8_t* was, const std::uint8_t* now, int stride,
                                QSize size) {
    std::vector<QRect> done;     // rectangles that cannot grow any more
    std::vector<QRect> growing;  // those ending on the tile row above, which may grow down
    for (int top = 0; top < size.height(); top += kPieceTile) {
        const int h = std::min(kPieceTile, size.height() - top);
        std::vector<QRect> row;
        for (int left = 0; left < size.width(); left += kPieceTile) {
            const QRect tile(left, top, std::min(kPieceTile, size.width() - left), h);
            if (!TileDiffers(was, now, stride, tile)) continue;
            if (!row.empty() && row.back().right() + 1 == left)
                row.back().setRight(tile.right());
            else
                row.push_back(tile);
        }
        std::vector<QRect> next;
        for (QRect& r : row) {
            auto above = std::find_if(growing.begin(), growing.end(), [&](const QRect& g) {
                return g.left() == r.left() && g.right() == r.right();
            });
            if (above != growing.end()) {
                r.setTop(above->top());
                growing.erase(above);
            }
            next.push_back(r);
        }
        done.insert(done.end(), growing.begin(), growing.end());
        growing = std::move(next);
    }
    done.insert(done.end(), growing.begin(), growing.end());
    return done;
}

bool ServedPicture::setOutline(QSize size, const QRegion& shape, int scale) {
    size = size.boundedTo(QSize(kLayerWidth, kLayerHeight)).expandedTo(QSize(1, 1));
    QImage alpha(size * scale, QImage::Format_Alpha8);
    alpha.fill(shape.isEmpty() ? 255 : 0);
    if (!shape.isEmpty()) {
        QPainter p(&alpha);
        for (const QRect& r : shape)
            p.fillRect(QRect(r.topLeft() * scale, r.size() * scale), Qt::black);
    }
    if (size == size_ && scale == scale_ && alpha == alpha_) return false;
    size_ = size;
    scale_ = scale;
    alpha_ = std::move(alpha);
    taken_ = false;
    return true;
}

std::vector<FramePiece> ServedPicture::takeChanges(const Layer& screen) {
    if (screen.empty() || size_.isEmpty() || screen.scale() != scale_) return {};
    std::vector<FramePiece> pieces;
    if (!taken_) {
        pixels_ = screen.pixels;
        stride_ = screen.stride();
        taken_ = true;
        return whole();
    }
    // Only the changed rectangles are copied: a whole frame is megabytes at a high scale.
    for (const QRect& r :
         ChangedRects(pixels_.data(), screen.pixels.data(), stride_, devicePixels())) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(pixels_.data() + static_cast<size_t>(y) * stride_ + r.x() * 3,
                        screen.row(y) + r.x() * 3, static_cast<size_t>(r.width()) * 3);
        pieces.push_back({r, {}});
    }
    for (FramePiece& p : pieces) p = piece(p.rect);
    return pieces;
}

std::vector<FramePiece> ServedPicture::whole() const {
    if (!taken_) return {};
    return {piece(QRect(QPoint(0, 0), devicePixels()))};
}

FramePiece ServedPicture::piece(const QRect& rect) const {
    const QImage screen(pixels_.data(), stride_ / 3, static_cast<int>(pixels_.size()) / stride_,
                        stride_, QImage::Format_BGR888);
    QImage argb = screen.copy(rect).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < rect.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        const uchar* a = alpha_.constScanLine(rect.y() + y) + rect.x();
        for (int x = 0; x < rect.width(); ++x)
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), a[x]);
    }
    FramePiece out{rect, {}};
    QBuffer buffer(&out.png);
    buffer.open(QIODevice::WriteOnly);
    argb.save(&buffer, "PNG");
    return out;
}

}  // namespace velmora
