// BMP skins through QImageReader, and their region.
#include "window/qt_skin.h"

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "window/shape.h"

namespace velmora {

namespace {

std::uint32_t LittleEndian(const QByteArray& b, int at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | std::uint8_t(b[at + i]);
    return v;
}

// False when an uncompressed BMP's rows reach past the end of the file: the decoder
// would leave the missing rows undefined instead of failing.
bool PixelsComplete(const QByteArray& head, qint64 fileSize) {
    if (head.size() < 26) return false;
    const std::uint32_t offset = LittleEndian(head, 10, 4);
    const bool core = LittleEndian(head, 14, 4) == 12;  // the old OS/2 header
    if (!core && head.size() < 34) return false;
    const qint64 width = core ? LittleEndian(head, 18, 2) : std::int32_t(LittleEndian(head, 18, 4));
    const qint64 height =
        core ? LittleEndian(head, 20, 2) : std::int32_t(LittleEndian(head, 22, 4));
    const qint64 bits = LittleEndian(head, core ? 24 : 28, 2);
    const std::uint32_t compression = core ? 0 : LittleEndian(head, 30, 4);
    if (compression != 0 && compression != 3 && compression != 6) return true;  // RLE: unknown
    const qint64 rowBytes = (width * bits + 31) / 32 * 4;
    return fileSize >= offset + rowBytes * (height < 0 ? -height : height);
}

}  // namespace

SkinFile ReadSkinFile(const QString& path) {
    SkinFile out;
    // Only BMP files are skins, whatever the name says; a file that is one but cannot
    // be decoded is a data error rather than a failed load.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return out;
    const QByteArray head = file.read(54);
    if (!head.startsWith("BM")) return out;
    const bool complete = PixelsComplete(head, file.size());
    file.close();
    QImageReader reader(path, "bmp");
    reader.setDecideFormatFromContent(false);
    const QImage image = complete ? reader.read() : QImage();
    if (image.isNull()) {
        out.status = SkinFile::Status::BadData;
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
