// Skin bitmaps: reading a BMP file into 24-bit pixels, the window region cut from it,
// and the copy into the background layer.
#pragma once

#include <QImage>
#include <QRegion>
#include <QString>

#include "window/layers.h"

namespace velmora {

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

// Every pixel whose colour differs from the pixel at (0, 0); holes included.
QRegion SkinRegion(const QImage& bgr);

// Copies the skin to (0, 0) of the layer; what lies beyond 640 x 480 is cut off and the
// rest of the layer keeps what it held.
void CopySkinToLayer(const QImage& bgr, Layer& layer);

}  // namespace velmora
