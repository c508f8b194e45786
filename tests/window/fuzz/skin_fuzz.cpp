// libFuzzer target for the skin reader: any bytes as a BMP file. What loads has the size
// its header announced, within the bounds; the region cut from it covers exactly the
// pixels whose colour differs from the top-left one; and a bottom-up picture stored top
// row first loads to the very same pixels.
#include <QByteArray>
#include <QImage>
#include <QRegion>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "window/qt_skin.h"

using namespace velmora;

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

std::uint32_t Get(const QByteArray& b, int at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | std::uint8_t(b[at + i]);
    return v;
}

void CheckRegion(const QImage& bgr) {
    if (qint64(bgr.width()) * bgr.height() > 64 * 64) return;
    const QRegion region = SkinRegion(bgr);
    const std::uint8_t* key = bgr.constScanLine(0);
    for (int y = 0; y < bgr.height(); ++y)
        for (int x = 0; x < bgr.width(); ++x)
            Require(region.contains(QPoint(x, y)) ==
                    (std::memcmp(bgr.constScanLine(y) + 3 * x, key, 3) != 0));
    Require(bgr.rect().contains(region.boundingRect()) || region.isEmpty());
}

// An uncompressed bottom-up file that loaded, rewritten top row first: it must load to
// the same picture. Only where the palette and masks end before the rows begin, since
// reordering rows that also serve as palette changes the colours.
void CheckTopDown(const QByteArray& file, const QImage& loaded) {
    if (file.size() < 54 || Get(file, 14, 4) < 40) return;
    const std::int32_t height = std::int32_t(Get(file, 22, 4));
    const std::uint32_t compression = Get(file, 30, 4), offset = Get(file, 10, 4);
    const std::uint32_t bits = Get(file, 28, 2), used = Get(file, 46, 4);
    if (height <= 0 || (compression != 0 && compression != 3 && compression != 6)) return;
    const qint64 colours = bits <= 8 ? std::max<qint64>(used, qint64(1) << bits) : used;
    const qint64 masks = compression == 0 ? 0 : 16;
    if (14 + qint64(Get(file, 14, 4)) + masks + colours * 4 > offset) return;
    const qint64 rowBytes = (qint64(loaded.width()) * bits + 31) / 32 * 4;
    if (offset + rowBytes * height > file.size()) return;
    QByteArray flipped = file.left(offset);
    const std::uint32_t negative = std::uint32_t(-height);
    for (int i = 0; i < 4; ++i) flipped[22 + i] = char(negative >> (8 * i));
    for (std::int32_t r = height; r-- > 0;) flipped += file.mid(offset + r * rowBytes, rowBytes);
    flipped += file.mid(offset + rowBytes * height);
    const SkinFile again = DecodeSkin(flipped);
    Require(again.status == SkinFile::Status::Ok && again.image == loaded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), int(size));
    const SkinFile skin = DecodeSkin(file);
    if (skin.status != SkinFile::Status::Ok) {
        Require(skin.image.isNull());
        Require(skin.status == SkinFile::Status::BadData || !file.startsWith("BM"));
        return 0;
    }
    const QImage& img = skin.image;
    Require(img.format() == QImage::Format_BGR888);
    Require(img.width() > 0 && img.height() > 0 && img.width() <= kMaxSkinSide &&
            img.height() <= kMaxSkinSide && qint64(img.width()) * img.height() <= kMaxSkinPixels);
    CheckRegion(img);
    CheckTopDown(file, img);
    return 0;
}
