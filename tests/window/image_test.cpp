// The `image` command through a real engine: placing, clearing, var1/var2 and the
// script errors. The layers are checked pixel by pixel.
#include <gtest/gtest.h>

#include "jpeg_writer.h"
#include "script_harness.h"
#include "window/display.h"
#include "window/image_command.h"

namespace velmora {
namespace {

using test::WriteJpeg;

constexpr std::uint8_t kGreen[3] = {0, 200, 0};  // the "skin": blue, green, red

bool Near(const std::uint8_t* p, int b, int g, int r) {
    return std::abs(p[0] - b) <= 8 && std::abs(p[1] - g) <= 8 && std::abs(p[2] - r) <= 8;
}
bool IsRed(const Layer& l, int x, int y) {
    return Near(l.row(y) + x * 3, 0, 0, 255);
}
bool IsSkin(const Layer& l, int x, int y) {
    return Near(l.row(y) + x * 3, 0, 200, 0);
}
bool IsWhite(const Layer& l, int x, int y) {
    return Near(l.row(y) + x * 3, 255, 255, 255);
}

void FillRed(int, int, std::uint8_t* p) {
    p[0] = 255, p[1] = 0, p[2] = 0;
}

// A harness with a display whose background is a green skin, already composed.
struct ImageScript : test::ScriptHarness {
    Display display{engine};
    ImageCommand image{engine, display};
    int presents = 0;

    ImageScript() {
        display.layers.create();
        display.present = [this] { ++presents; };
        for (int y = 0; y < display.layers.background.height(); ++y)
            for (int x = 0; x < display.layers.background.width(); ++x)
                std::copy(kGreen, kGreen + 3, display.layers.background.row(y) + x * 3);
        display.Compose({.copyBackground = true, .clearText = true});
    }
    const Layer& base() const { return display.layers.base; }
    const Layer& screen() const { return display.layers.screen; }
};

TEST(ImageCommandTest, PlacesFromTheProgramFolderAndShowsAtTheNextCompose) {
    ImageScript s;
    ASSERT_TRUE(WriteJpeg(s.dir.file("photo.jpg"), {.width = 64, .height = 48}, FillRed));
    s.runLines({"image,jpg,photo.jpg,100,50", "probe"});
    EXPECT_EQ(s.probes, std::vector<std::string>{"OK|"});
    EXPECT_TRUE(s.fe.messages.empty());
    EXPECT_TRUE(IsRed(s.base(), 100, 50));
    EXPECT_TRUE(IsRed(s.base(), 163, 97));
    EXPECT_TRUE(IsSkin(s.base(), 99, 50));
    EXPECT_TRUE(IsSkin(s.base(), 164, 98));
    // Placing does not compose: the screen still shows the skin alone.
    EXPECT_EQ(s.presents, 0);
    EXPECT_TRUE(IsSkin(s.screen(), 100, 50));
    s.display.Compose({.present = true});
    EXPECT_TRUE(IsRed(s.screen(), 100, 50));
}

struct ResultCase {
    const char* name;
    std::string line;
    std::string probe;  // "$D" is the program folder
};

class ImageResultTest : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ImageResultTest, ReportsThroughVar1AndVar2) {
    ImageScript s;
    ASSERT_TRUE(WriteJpeg(s.dir.file("photo.jpg"), {.width = 8, .height = 8}, FillRed));
    s.dir.writeBytes("garbage.jpg", "GIF89a and then nothing useful");
    s.runLines({"set,var2,before", GetParam().line, "probe"});
    EXPECT_EQ(s.probes, std::vector<std::string>{s.withFolder(GetParam().probe)});
    EXPECT_TRUE(s.fe.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageResultTest,
    ::testing::Values(
        ResultCase{"placed_leaves_var2", "image,jpg,photo.jpg,0,0", "OK|before"},
        ResultCase{"absolute_name", "image,jpg,$D/photo.jpg,0,0", "OK|before"},
        ResultCase{"mode_is_case_sensitive", "image,Clear,photo.jpg,0,0", "OK|before"},
        ResultCase{"missing_file", "image,jpg,nothere.jpg,0,0", "NG|$D/nothere.jpg が開けません"},
        ResultCase{"not_a_jpeg", "image,jpg,garbage.jpg,0,0", "NG|Jpeg解凍エラー"},
        ResultCase{"folder", "image,jpg,,0,0", "NG|$D/ が開けません"},
        ResultCase{"outside_the_layer", "image,jpg,photo.jpg,99999999999,-5", "OK|before"},
        ResultCase{"clear_all_changes_nothing", "image,clear", "|before"},
        ResultCase{"clear_rect_changes_nothing", "image,clear,0,0,10,10", "|before"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    std::string line;
    const char* message;
};

class ImageErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ImageErrorTest, StopsTheScript) {
    ImageScript s;
    s.runLines({GetParam().line, "probe"});
    EXPECT_TRUE(s.probes.empty());
    EXPECT_EQ(s.fe.messagesUtf8(), std::vector<std::string>{GetParam().message});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageErrorTest,
    ::testing::Values(ErrorCase{"no_parameter", "image",
                                "コードエラー：パラメーターが足りません image (line:2)"},
                      ErrorCase{"no_position", "image,jpg,photo.jpg,1",
                                "コードエラー：パラメーターが足りません image (line:2)"}),
    [](const auto& info) { return std::string(info.param.name); });

// A red picture over the whole layer, black text at (5, 5), then one clearing line.
struct ClearCase {
    const char* name;
    std::string line;
    bool clearedTopLeft, clearedElsewhere;
};

class ImageClearTest : public ::testing::TestWithParam<ClearCase> {};

TEST_P(ImageClearTest, RestoresTheSkinAndKeepsTheText) {
    ImageScript s;
    ASSERT_TRUE(WriteJpeg(s.dir.file("big.jpg"), {.width = 800, .height = 600}, FillRed));
    for (int x = 0; x < 3; ++x) std::fill_n(s.display.layers.text.row(5) + (5 + x) * 3, 3, 0);
    s.runLines({"image,jpg,big.jpg,0,0", GetParam().line});
    ASSERT_TRUE(s.fe.messages.empty());
    const ClearCase& c = GetParam();
    const Layer& base = s.base();
    for (auto [x, y, topLeft] : {std::tuple{0, 0, true},
                                 {319, 239, true},
                                 {100, 200, true},
                                 {320, 239, false},
                                 {319, 240, false},
                                 {639, 479, false}}) {
        const bool cleared = topLeft ? c.clearedTopLeft : c.clearedElsewhere;
        EXPECT_TRUE(cleared ? IsSkin(base, x, y) : IsRed(base, x, y)) << x << "," << y;
        EXPECT_TRUE(cleared ? IsSkin(s.screen(), x, y) : IsRed(s.screen(), x, y)) << x << "," << y;
    }
    // Clearing composes and presents; the text layer is left alone.
    EXPECT_EQ(s.presents, 1);
    EXPECT_TRUE(Near(s.screen().row(5) + 6 * 3, 0, 0, 0));
    EXPECT_TRUE(Near(s.display.layers.text.row(5) + 6 * 3, 0, 0, 0));
    EXPECT_TRUE(IsWhite(s.display.layers.text, 20, 20));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageClearTest,
    ::testing::Values(
        ClearCase{"one_rectangle", "image,clear,0,0,320,240", true, false},
        ClearCase{"everything", "image,clear", true, true},
        ClearCase{"four_parameters_clear_everything", "image,clear,a.jpg,0,0", true, true},
        ClearCase{"rectangle_beyond_the_edges", "image,clear,-50,-50,320,240", true, false},
        ClearCase{"reversed_rectangle_clears_nothing", "image,clear,320,240,0,0", false, false},
        ClearCase{"far_corners_clear_everything",
                  "image,clear,-2147483648,-2147483648,2147483647,2147483647", true, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmora
