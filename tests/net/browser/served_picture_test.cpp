// The pieces a browser gets: nothing changed is sent, every change is, and the shape's
// holes stay transparent.
#include "net/browser/served_picture.h"

#include <gtest/gtest.h>

#include <random>

namespace velmora {
namespace {

Layer WhiteLayer() {
    Layer l;
    l.allocate(1, 0xff);
    return l;
}

TEST(ServedPicture, ChangedRectsCoverEveryChangeAndNothingTwice) {
    std::mt19937 random(7);
    const QSize size(437, 301);  // not a whole number of tiles
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const Layer was = WhiteLayer();
        Layer now = was;
        const int changes = static_cast<int>(random() % 40);
        for (int i = 0; i < changes; ++i) {
            const int x = static_cast<int>(random() % size.width());
            const int y = static_cast<int>(random() % size.height());
            now.row(y)[x * 3] = static_cast<std::uint8_t>(random());
        }
        const std::vector<QRect> rects =
            ChangedRects(was.pixels.data(), now.pixels.data(), was.stride(), size);
        QRegion covered;
        for (const QRect& r : rects) {
            EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(r));
            EXPECT_FALSE(covered.intersects(r));
            covered += r;
        }
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                if (was.row(y)[x * 3] != now.row(y)[x * 3]) {
                    ASSERT_TRUE(covered.contains(QPoint(x, y)));
                }
        // Only tiles with a change are sent.
        int area = 0;
        for (const QRect& r : rects) area += r.width() * r.height();
        EXPECT_LE(area, changes * kPieceTile * kPieceTile);
    }
}

TEST(ServedPicture, SendsTheWholeFirstThenOnlyTheChangedTile) {
    ServedPicture picture;
    const QRegion shape = QRegion(0, 0, 100, 50) - QRegion(0, 0, 10, 10);
    ASSERT_TRUE(picture.setOutline(QSize(100, 50), shape, 1));
    EXPECT_FALSE(picture.setOutline(QSize(100, 50), shape, 1));
    Layer screen = WhiteLayer();
    std::vector<FramePiece> first = picture.takeChanges(screen);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].rect, QRect(0, 0, 100, 50));
    const QImage whole = QImage::fromData(first[0].png, "PNG");
    EXPECT_EQ(qAlpha(whole.pixel(5, 5)), 0);  // cut away
    EXPECT_EQ(whole.pixel(50, 25), qRgba(255, 255, 255, 255));

    EXPECT_TRUE(picture.takeChanges(screen).empty());
    screen.row(40)[70 * 3 + 2] = 0;  // red off at (70, 40)
    std::vector<FramePiece> next = picture.takeChanges(screen);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].rect, QRect(64, 32, 16, 16));
    const QImage tile = QImage::fromData(next[0].png, "PNG");
    EXPECT_EQ(tile.pixel(70 - 64, 40 - 32), qRgba(0, 255, 255, 255));
    EXPECT_EQ(picture.whole().size(), 1u);
}

}  // namespace
}  // namespace velmora
