// The window's shape from a skin: which pixels belong to the window, and the order and
// form of the rectangles that a region takes without merging.
#include "window/shape.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace velmora {
namespace {

// A picture from rows of characters: '.' is the top-left colour (when the top-left is
// '.'), every other character its own colour.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> px;

    explicit Picture(const std::vector<std::string>& rows) {
        height = int(rows.size());
        width = height ? int(rows[0].size()) : 0;
        for (const auto& r : rows)
            for (char c : r) px.insert(px.end(), {std::uint8_t(c), std::uint8_t(c * 3), 7});
    }
    std::vector<Rect> shape() const { return BuildShape(px.data(), width, height, width * 3); }
};

bool Covered(const std::vector<Rect>& rects, int x, int y) {
    for (const Rect& r : rects)
        if (r.left <= x && x < r.right && r.top <= y && y < r.bottom) return true;
    return false;
}

// Rectangles as a region wants them: sorted, one height per band, never overlapping,
// never touching sideways.
void ExpectBanded(const std::vector<Rect>& rects) {
    for (size_t i = 1; i < rects.size(); ++i) {
        const Rect &a = rects[i - 1], &b = rects[i];
        if (a.top == b.top) {
            EXPECT_EQ(a.bottom, b.bottom) << "band " << a.top;
            EXPECT_LT(a.right, b.left) << "touching or overlapping in band " << a.top;
        } else {
            EXPECT_LE(a.bottom, b.top) << "bands overlap at " << b.top;
        }
    }
}

struct ShapeCase {
    const char* name;
    std::vector<std::string> rows;
    std::vector<Rect> expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ShapeCase& c, std::ostream* os) {
    *os << c.name;
}

class ShapeTable : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ShapeTable, CutsTheTopLeftColour) {
    const ShapeCase& c = GetParam();
    EXPECT_EQ(Picture(c.rows).shape().size(), c.expected.size());
    const std::vector<Rect> got = Picture(c.rows).shape();
    for (size_t i = 0; i < std::min(got.size(), c.expected.size()); ++i) {
        EXPECT_EQ(got[i].left, c.expected[i].left) << i;
        EXPECT_EQ(got[i].top, c.expected[i].top) << i;
        EXPECT_EQ(got[i].right, c.expected[i].right) << i;
        EXPECT_EQ(got[i].bottom, c.expected[i].bottom) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Skins, ShapeTable,
    ::testing::Values(
        // A colour found only at (0, 0): that one pixel is cut.
        ShapeCase{"unique_corner", {"#XX", "XXX"}, {{1, 0, 3, 1}, {0, 1, 3, 2}}},
        // Runs reaching the right edge end at the width.
        ShapeCase{"run_to_edge", {"..XX"}, {{2, 0, 4, 1}}},
        // A hole inside splits the band; equal rows merge into one band.
        ShapeCase{"hole",
                  {".....", ".XXX.", ".X.X.", ".XXX.", "....."},
                  {{1, 1, 4, 2}, {1, 2, 2, 3}, {3, 2, 4, 3}, {1, 3, 4, 4}}},
        ShapeCase{"equal_rows_merge", {".XX.", ".XX.", ".XX."}, {{1, 0, 3, 3}}},
        // Every pixel of the top-left colour: nothing belongs to the window.
        ShapeCase{"all_transparent", {"...", "..."}, {}},
        // Colours are compared exactly: a near colour stays.
        ShapeCase{"near_colour_stays", {"./."}, {{1, 0, 2, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Shape, CoversExactlyTheOpaquePixelsOfRandomSkins) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 30);
        std::vector<std::string> rows(h, std::string(w, '.'));
        for (auto& r : rows)
            for (char& c : r) c = "..XY"[rng() % 4];
        const Picture pic(rows);
        const std::vector<Rect> rects = pic.shape();
        ExpectBanded(rects);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(Covered(rects, x, y), rows[y][x] != rows[0][0])
                    << "round " << round << " at " << x << "," << y;
    }
}

TEST(Shape, CheckerboardGivesOneRectanglePerRun) {
    std::vector<std::string> rows(48, std::string(64, '.'));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) rows[y][x] = (x + y) % 2 ? 'X' : '.';
    const std::vector<Rect> rects = Picture(rows).shape();
    EXPECT_EQ(rects.size(), 48u * 32u);
    ExpectBanded(rects);
}

TEST(Shape, HonoursTheRowStride) {
    // Two rows of two pixels, each row padded to 8 bytes with bytes that must be ignored.
    const std::uint8_t px[] = {1, 1, 1, 2, 2, 2, 9, 9,  //
                               1, 1, 1, 1, 1, 1, 2, 2};
    const std::vector<Rect> rects = BuildShape(px, 2, 2, 8);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].left, 1);
    EXPECT_EQ(rects[0].bottom, 1);
}

}  // namespace
}  // namespace velmora
