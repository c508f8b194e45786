// BMP skins through QImageReader, and their region.
#include "window/qt_skin.h"

#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <vector>

#include "window/shape.h"

namespace velmora {

SkinFile ReadSkinFile(const QString& path) {
    SkinFile out;
    // Only BMP files are skins, whatever the name says, as on the system scripts come from.
    QImageReader reader(path, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    if (image.isNull()) {
        const bool isBmp = reader.error() == QImageReader::InvalidDataError;
        out.status = isBmp ? SkinFile::Status::BadData : SkinFile::Status::LoadFailed;
        return out;
    }
    out.image = image.convertToFormat(QImage::Format_BGR888);
    out.status = out.image.isNull() || out.image.width() <= 0 || out.image.height() <= 0
                     ? SkinFile::Status::BadData
                     : SkinFile::Status::Ok;
    return out;
}

QRegion SkinRegion(const QImage& bgr) {
    const std::vector<Rect> rects =
        BuildShape(bgr.constBits(), bgr.width(), bgr.height(), bgr.bytesPerLine());
    std::vector<QRect> q;
    q.reserve(rects.size());
    for (const Rect& r : rects) q.emplace_back(r.left, r.top, r.width(), r.height());
    QRegion region;
    // The rectangles come banded and sorted, so the region takes them as they are
    // instead of merging them one by one.
    if (!q.empty()) region.setRects(q.data(), static_cast<int>(q.size()));
    return region;
}

void CopySkinToLayer(const QImage& bgr, Layer& layer) {
    if (layer.empty()) return;
    const int w = std::min(bgr.width(), kLayerWidth), h = std::min(bgr.height(), kLayerHeight);
    for (int y = 0; y < h; ++y) std::memcpy(layer.row(y), bgr.constScanLine(y), w * 3);
}

}  // namespace velmora
