// The window's picture as browsers get it: the screen layer cut to the window's size and
// shape, and after the first frame only the pieces that changed.
#pragma once

#include <QImage>
#include <QRegion>
#include <QSize>
#include <cstdint>
#include <vector>

#include "net/browser/browser_protocol.h"
#include "window/layers.h"

namespace velmora {

// Side of the square tiles changes are found in: a choice's highlight or a text line
// covers a few of them, and a tile's PNG header costs less than its pixels.
constexpr int kPieceTile = 16;

// The rectangles, on a grid of kPieceTile, outside which the two pictures of `size` pixels
// are equal; rows of `stride` bytes, 3 bytes a pixel. Adjacent tiles are joined into wider
// rectangles and equal rows of those into taller ones; none overlap.
std::vector<QRect> ChangedRects(const std::uint8_t* was, const std::uint8_t* now, int stride,
                                QSize size);

// Pictures are in the layers' device pixels: `scale` of them each way to a window pixel.
class ServedPicture {
public:
    // The window's size and shape in window pixels (an empty shape: the whole window), and
    // the layers' scale. True when any changed: the browsers then need the whole picture.
    bool setOutline(QSize size, const QRegion& shape, int scale);
    // The pieces where `screen` differs from the picture last taken, which it becomes.
    std::vector<FramePiece> takeChanges(const Layer& screen);
    // The whole picture last taken, for a browser that joins or catches up.
    std::vector<FramePiece> whole() const;
    QSize size() const { return size_; }  // in window pixels
    int scale() const { return scale_; }

private:
    FramePiece piece(const QRect& rect) const;
    QSize devicePixels() const { return size_ * scale_; }

    QSize size_;
    int scale_ = 1;
    int stride_ = 0;                    // of the layer the pixels were taken from
    QImage alpha_;                      // the shape: 255 inside, 0 where the window is cut
    std::vector<std::uint8_t> pixels_;  // the last picture taken, as the layer holds it
    bool taken_ = false;
};

}  // namespace velmora
