// Skin bitmaps: reading a BMP file into 24-bit pixels, the window region cut from it,
// the copy into the background layer, and the shape given to the window.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRegion>
#include <QString>
#include <cstdint>

#include "window/layers.h"

class QWidget;

namespace velmora {

// The largest skin taken from a header, checked before any size is computed from it: no
// side beyond what an X window can have, and few enough pixels that decoding needs
// well under a gigabyte.
constexpr std::int64_t kMaxSkinSide = 32767;
constexpr std::int64_t kMaxSkinPixels = std::int64_t(1) << 25;

struct SkinFile {
    enum class Status {
        Ok,
        LoadFailed,  // missing, unreadable, or not a BMP file
        BadData,     // a BMP file whose picture cannot be used
    };
    Status status = Status::LoadFailed;
    QImage image;  // QImage::Format_BGR888 when Ok
};

SkinFile ReadSkinFile(const QString& path);
// The same for the bytes of a file already read.
SkinFile DecodeSkin(const QByteArray& file);

// Every pixel whose colour differs from the pixel at (0, 0); holes included.
QRegion SkinRegion(const QImage& bgr);

// Copies the skin to (0, 0) of the layer, each pixel a block of the layer's scale; what
// lies beyond 640 x 480 window pixels is cut off and the rest keeps what it held.
void CopySkinToLayer(const QImage& bgr, Layer& layer);

// Cuts the top-level window to the region; an empty region leaves nothing of it visible
// or clickable. On X the shape goes to the server as a 1-bit mask, which it takes
// however many rectangles the region holds, once the window has been shown: the caller
// applies it again when the window is first shown.
void ApplyWindowShape(QWidget& window, const QRegion& shape);

}  // namespace velmora
