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

// The rectangles, on a grid of kPieceTile, outside which the two pictures are equal; rows
// of `stride` bytes, 3 bytes a pixel. Adjacent tiles are joined into wider rectangles and
// equal rows of those into taller ones; none overlap.
std::vector<QRect> ChangedRects(const std::uint8_t* was, const std::uint8_t* now, int stride,
                                QSize size);

class ServedPicture {
public:
    // The window's size and shape (an empty shape: the whole window). True when either
    // changed: the browsers then need the whole picture again.
    bool setOutline(QSize size, const QRegion& shape);
    // The pieces where `screen` differs from the picture last taken, which it becomes.
    std::vector<FramePiece> takeChanges(const Layer& screen);
    // The whole picture last taken, for a browser that joins or catches up.
    std::vector<FramePiece> whole() const;
    QSize size() const { return size_; }

private:
    FramePiece piece(const QRect& rect) const;

    QSize size_;
    QImage alpha_;                      // the shape: 255 inside, 0 where the window is cut
    std::vector<std::uint8_t> pixels_;  // the last picture taken, as the layer holds it
    bool taken_ = false;
};

}  // namespace velmora
