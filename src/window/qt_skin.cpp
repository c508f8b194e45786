// BMP skins through QImageReader, after their header has been checked here, and their
// region.
#include "window/qt_skin.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "window/shape.h"

namespace velmora {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kCoreHeaderSize = 12;  // the old OS/2 header: 16-bit sizes, no compression
constexpr int kHeightAt = kFileHeaderSize + 8;
// Past this the file cannot be a skin within the bounds, whatever its header says.
constexpr qint64 kMaxSkinFileBytes = kMaxSkinPixels * 4 + (qint64(1) << 20);

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitfields = 3,
    kAlphaBitfields = 6,
};

std::uint32_t LittleEndian(const QByteArray& b, int at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | std::uint8_t(b[at + i]);
    return v;
}

struct BmpHeader {
    std::int64_t width = 0, height = 0;  // a negative height: rows stored top first
    int bits = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t offset = 0;
};

// The header's sizes, every one widened to 64 bits and bounded; nothing when the file is
// too short to hold a header or announces a picture no skin can be.
std::optional<BmpHeader> ReadHeader(const QByteArray& file) {
    if (file.size() < kFileHeaderSize + 4) return std::nullopt;
    BmpHeader h;
    h.offset = LittleEndian(file, 10, 4);
    const std::uint32_t headerSize = LittleEndian(file, kFileHeaderSize, 4);
    if (headerSize == kCoreHeaderSize) {
        if (file.size() < kFileHeaderSize + kCoreHeaderSize) return std::nullopt;
        h.width = LittleEndian(file, 18, 2);
        h.height = LittleEndian(file, 20, 2);
        h.bits = int(LittleEndian(file, 24, 2));
    } else {
        // The shortest later header (16 bytes, OS/2) ends before the compression field.
        if (headerSize < 16 || file.size() < kFileHeaderSize + 20) return std::nullopt;
        h.width = std::int32_t(LittleEndian(file, 18, 4));
        h.height = std::int32_t(LittleEndian(file, kHeightAt, 4));
        h.bits = int(LittleEndian(file, 28, 2));
        if (headerSize >= 20) h.compression = LittleEndian(file, 30, 4);
    }
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    const bool usual =
        h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    if (!usual || h.width <= 0 || h.width > kMaxSkinSide || rows == 0 || rows > kMaxSkinSide ||
        h.width * rows > kMaxSkinPixels)
        return std::nullopt;
    // Rows of a top-down picture are never compressed.
    if (h.height < 0 && h.compression != kRgb && h.compression != kBitfields &&
        h.compression != kAlphaBitfields)
        return std::nullopt;
    return h;
}

// False when run-length data ends with the file before its end marker or its last row:
// the decoder would give the missing rows colour 0 (cutting them out) instead of failing.
bool RleComplete(const QByteArray& file, const BmpHeader& h) {
    const qint64 size = file.size();
    auto byte = [&](qint64 at) { return std::uint8_t(file[at]); };
    std::int64_t row = 0;
    qint64 at = h.offset;
    while (row < h.height) {
        // The last row may end with the file instead of with a marker.
        if (at + 2 > size) return row >= h.height - 1 && at > std::int64_t(h.offset);
        const std::uint8_t count = byte(at), code = byte(at + 1);
        at += 2;
        if (count != 0) continue;  // a run of one value
        if (code == 0) {           // end of row
            ++row;
        } else if (code == 1) {  // end of picture: the rest stays unset, as written
            return true;
        } else if (code == 2) {  // move right and up
            if (at + 2 > size) return false;
            row += byte(at + 1);
            at += 2;
        } else {  // `code` literal pixels, padded to whole 16-bit words
            const qint64 bytes = h.compression == kRle4 ? (code + 1) / 2 : code;
            at += (bytes + 1) & ~qint64(1);
            if (at > size) return false;
        }
    }
    return true;
}

// False when a BMP's rows reach past the end of the file: the decoder would leave the
// missing rows undefined instead of failing.
bool PixelsComplete(const BmpHeader& h, const QByteArray& file) {
    if (h.compression == kRle8 || h.compression == kRle4) return RleComplete(file, h);
    const std::int64_t rowBytes = (h.width * h.bits + 31) / 32 * 4;
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    return file.size() >= std::int64_t(h.offset) + rowBytes * rows;
}

}  // namespace

SkinFile DecodeSkin(const QByteArray& file) {
    SkinFile out;
    // Only BMP files are skins, whatever the name says; a file that is one but cannot
    // be decoded is a data error rather than a failed load.
    if (!file.startsWith("BM")) return out;
    out.status = SkinFile::Status::BadData;
    const std::optional<BmpHeader> header = ReadHeader(file);
    if (!header || !PixelsComplete(*header, file)) return out;
    // A top-down picture is decoded as the bottom-up one with the same rows, then turned
    // right side up: the rows are laid out alike, only their order differs.
    QByteArray bytes = file;
    const bool topDown = header->height < 0;
    if (topDown) {
        const std::uint32_t rows = std::uint32_t(-header->height);
        for (int i = 0; i < 4; ++i) bytes[kHeightAt + i] = char(rows >> (8 * i));
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    const std::int64_t rows = topDown ? -header->height : header->height;
    if (image.isNull() || image.width() != header->width || image.height() != rows) return out;
    if (topDown) image = image.mirrored(false, true);
    out.image = image.convertToFormat(QImage::Format_BGR888);
    if (!out.image.isNull()) out.status = SkinFile::Status::Ok;
    return out;
}

SkinFile ReadSkinFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return SkinFile{};
    if (file.size() > kMaxSkinFileBytes) {
        SkinFile tooLarge;
        if (file.read(2) == "BM") tooLarge.status = SkinFile::Status::BadData;
        return tooLarge;
    }
    return DecodeSkin(file.readAll());
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
    // Each skin pixel becomes a whole block of device pixels: no blending at the edges, so
    // the picture matches the window's shape at every scale.
    const int k = layer.scale();
    const int w = std::min(bgr.width(), kLayerWidth), h = std::min(bgr.height(), kLayerHeight);
    for (int y = 0; y < h; ++y) PutRowEnlarged(layer, 0, y * k, bgr.constScanLine(y), w, k);
}

}  // namespace velmora
