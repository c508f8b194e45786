// Where the window goes for a `windows_pos` text on a 1024 x 768 screen with a
// 300 x 100 skin.
#include "window/placement.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr Placement kFallback{1024 - 300 - 21, 768 - 100 - 51, 300, 100, false};

struct PlaceCase {
    const char* text;
    Placement expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const PlaceCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class PlacementTable : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(PlacementTable, PlacesOrFallsBack) {
    const PlaceCase& c = GetParam();
    const Placement p = ComputePlacement(c.text, 1024, 768, 300, 100);
    EXPECT_EQ(p, c.expected) << '"' << c.text << "\" gave " << p.x << "," << p.y << " " << p.width
                             << "x" << p.height;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PlacementTable,
    ::testing::Values(PlaceCase{"10,10,330,110", {10, 10, 320, 100, true}},
                      // The size comes from the setting, not from the skin.
                      PlaceCase{"0,0,640,480", {0, 0, 640, 480, true}},
                      PlaceCase{"010,0x10,330,110", {8, 16, 322, 94, true}},
                      PlaceCase{"-100,-100,0,0", {-100, -100, 100, 100, true}},
                      PlaceCase{"1024,768,1100,800", {1024, 768, 76, 32, true}},
                      PlaceCase{"10,10,5,110", kFallback},      // negative width
                      PlaceCase{"10,10,330,10", kFallback},     // zero height
                      PlaceCase{"-150,0,200,100", kFallback},   // too far left
                      PlaceCase{"0,-101,200,100", kFallback},   // too far up
                      PlaceCase{"1025,0,1100,100", kFallback},  // beyond the right edge
                      PlaceCase{"", kFallback},                 // no setting
                      PlaceCase{"10,10,330", kFallback},        // three numbers
                      PlaceCase{"left,top,right,bottom", kFallback}));

TEST(Placement, FallbackFollowsTheSkinSize) {
    EXPECT_EQ(ComputePlacement("", 1920, 1080, 440, 320),
              (Placement{1920 - 440 - 21, 1080 - 320 - 51, 440, 320, false}));
}

}  // namespace
}  // namespace velmora
