// The display model: the white start, `text` with its clear mode and accumulation,
// `clear`, the choice drawing with its highlight frame, and the choice hit test. Text is
// drawn by the window's real painter (IPAGothic) or, to see the exact rectangles, by a
// painter that records its calls.
#include "window/display.h"

#include <gtest/gtest.h>

#include <random>

#include "window/qt_skin.h"
#include "window/qt_text_painter.h"
#include "window_support.h"

namespace velmora::test {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;

struct RecordingPainter : TextPainter {
    std::vector<Rect> areas;
    std::vector<std::string> texts;
    void drawText(Layer&, const Rect& area, const std::string& text) override {
        areas.push_back(area);
        texts.push_back(text);
    }
};

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        rig.display.painter = &painter;
        rig.display.present = [this] { ++presents; };
        rig.display.Compose({.copyBackground = true, .clearText = true});
    }
    Layer& screen() { return rig.display.layers.screen; }

    EngineRig rig;
    QtTextPainter painter;
    int presents = 0;
};

TEST_F(DisplayTest, StartsPlainWhite) {
    for (int y = 0; y < screen().height(); y += 7)
        for (int x = 0; x < screen().width(); x += 7) ASSERT_EQ(LayerPixel(screen(), x, y), kWhite);
    EXPECT_EQ(presents, 0);
}

TEST_F(DisplayTest, TextIsDrawnBlackInsideTextPosAndPresented) {
    rig.display.ShowText("clear", "Hello");
    EXPECT_EQ(presents, 1);
    EXPECT_GT(DarkPixels(screen(), 10, 10, 350, 150), 20);
    EXPECT_EQ(DarkPixels(screen(), 0, 0, 640, 480), DarkPixels(screen(), 10, 10, 350, 150));
}

TEST_F(DisplayTest, LongLinesWrapWithinTheRectangle) {
    std::string words;
    for (int i = 0; i < 30; ++i) words += "Hello ";
    rig.display.ShowText("clear", words);
    // Nothing right of 350, and text on more than one line.
    EXPECT_EQ(DarkPixels(screen(), 350, 0, 640, 480), 0);
    EXPECT_GT(DarkPixels(screen(), 10, 10, 350, 28), 0);
    EXPECT_GT(DarkPixels(screen(), 10, 30, 350, 60), 0);
}

TEST_F(DisplayTest, JapaneseTextAndLineFeedsAreDrawn) {
    rig.display.ShowText("clear", Utf8ToCp932("一行目\n二行目"));
    EXPECT_GT(DarkPixels(screen(), 10, 10, 100, 28), 20);
    EXPECT_GT(DarkPixels(screen(), 10, 28, 100, 50), 20);
}

TEST_F(DisplayTest, TextClipsToItsRectangle) {
    rig.engine.vars[kTextPos] = "100,100,120,110";
    std::string many(400, 'W');
    rig.display.ShowText("clear", many);
    EXPECT_GT(DarkPixels(screen(), 100, 100, 120, 110), 0);
    EXPECT_EQ(DarkPixels(screen(), 0, 0, 640, 480), DarkPixels(screen(), 100, 100, 120, 110));
}

TEST_F(DisplayTest, TextAccumulatesUntilCleared) {
    rig.engine.vars[kTextPos] = "10,10,100,40";
    rig.display.ShowText("clear", "AAAA");
    rig.engine.vars[kTextPos] = "10,200,100,240";
    rig.display.ShowText("normal", "BBBB");
    EXPECT_GT(DarkPixels(screen(), 10, 10, 100, 40), 0) << "the first text went";
    EXPECT_GT(DarkPixels(screen(), 10, 200, 100, 240), 0);
    rig.display.ShowText("clear", "CCCC");
    EXPECT_EQ(DarkPixels(screen(), 10, 10, 100, 40), 0);
    EXPECT_GT(DarkPixels(screen(), 10, 200, 100, 240), 0) << "the new text is missing";
}

TEST_F(DisplayTest, UnreadableTextPosDrawsAndPresentsNothing) {
    rig.display.ShowText("clear", "Hello");
    rig.engine.vars[kTextPos] = "10,10,350";
    rig.display.ShowText("clear", "Other");
    // The text layer was wiped and composed, but the window was not given the frame.
    EXPECT_EQ(presents, 1);
    EXPECT_EQ(DarkPixels(rig.display.layers.text, 0, 0, 640, 480), 0);
    EXPECT_EQ(DarkPixels(screen(), 0, 0, 640, 480), 0);
}

TEST_F(DisplayTest, ClearRemovesTextAndPicturesButKeepsTheSkin) {
    Layer& bg = rig.display.layers.background;  // a grey band of "skin" at the top
    for (int y = 0; y < 20; ++y) std::fill_n(bg.row(y), bg.stride(), std::uint8_t(0x40));
    rig.display.Compose({.copyBackground = true});
    std::fill_n(rig.display.layers.base.row(300), rig.display.layers.base.stride(),
                std::uint8_t(0));  // a "picture"
    rig.display.ShowText("clear", "Hello");
    rig.display.Clear();
    EXPECT_EQ(LayerPixel(screen(), 5, 5), 0x404040u);
    EXPECT_EQ(LayerPixel(screen(), 5, 300), kWhite);
    EXPECT_EQ(DarkPixels(screen(), 0, 20, 640, 480), 0);
    EXPECT_EQ(presents, 2);
}

TEST_F(DisplayTest, ChoicesAreDrawnOnePixelInAndFramed) {
    RecordingPainter rec;
    rig.display.painter = &rec;
    rig.engine.vars[kChoicePos2] = "20,70,320";  // unreadable: not drawn
    rig.offerChoices(3, 3);
    ASSERT_EQ(rec.areas.size(), 2u);
    EXPECT_EQ(rec.areas[0].left, 21);
    EXPECT_EQ(rec.areas[0].top, 51);
    EXPECT_EQ(rec.areas[0].right, 320);
    EXPECT_EQ(rec.areas[0].bottom, 70);
    EXPECT_EQ(rec.texts[1], "choice 3");
    EXPECT_TRUE(rig.display.choiceDrawn[0]);
    EXPECT_FALSE(rig.display.choiceDrawn[1]);
    EXPECT_EQ(presents, 1);
    // The highlighted choice 3 (20,90)-(320,110) has an inverted frame two pixels wide.
    EXPECT_EQ(LayerPixel(screen(), 18, 88), 0u);
    EXPECT_EQ(LayerPixel(screen(), 321, 111), 0u);
    EXPECT_EQ(LayerPixel(screen(), 20, 90), kWhite);
    EXPECT_EQ(LayerPixel(screen(), 17, 87), kWhite);
    EXPECT_EQ(LayerPixel(screen(), 18, 52), kWhite) << "only the highlighted one is framed";
}

TEST_F(DisplayTest, FrameGoesWhenTheChoiceEndsButTheTextsStay) {
    rig.offerChoices(2, 1);
    EXPECT_EQ(LayerPixel(screen(), 18, 48), 0u);
    rig.engine.choice.active = false;
    rig.display.Compose({.present = true});
    EXPECT_EQ(LayerPixel(screen(), 18, 48), kWhite);
    const int texts = DarkPixels(rig.display.layers.text, 0, 0, 640, 480);
    EXPECT_GT(texts, 0);
    EXPECT_EQ(DarkPixels(screen(), 0, 0, 640, 480), texts);
}

TEST_F(DisplayTest, ChoiceHitExcludesEdgesAndUndrawnChoices) {
    rig.engine.vars[kChoicePos2] = "bad";
    rig.offerChoices(2);
    struct {
        int n, x, y;
        bool hit;
    } cases[] = {{1, 21, 51, true},   {1, 20, 60, false},  {1, 320, 60, false},
                 {1, 100, 50, false}, {1, 100, 70, false}, {1, 319, 69, true},
                 {2, 100, 80, false}, {7, 100, 60, false}, {0, 100, 60, false}};
    for (const auto& c : cases)
        EXPECT_EQ(rig.display.ChoiceHit(c.n, c.x, c.y), c.hit) << c.n << " " << c.x << "," << c.y;
}

// Whatever the skin, pictures and highlight, a frame composed at any scale is the frame
// of scale 1 with every pixel enlarged: rectangles in window pixels cover whole blocks.
TEST_F(DisplayTest, AtAnyScaleTheFrameIsTheOneOfScaleOneEnlarged) {
    std::mt19937 random(21);
    QImage skin(kLayerWidth, kLayerHeight, QImage::Format_BGR888);
    for (int y = 0; y < skin.height(); ++y)
        for (int x = 0; x < skin.width(); ++x) skin.setPixel(x, y, random() & 0xFFFFFF);
    auto frame = [&](EngineRig& r, int scale) {
        RecordingPainter rec;  // no text: only the raster operations are compared
        r.display.painter = &rec;
        r.display.layers.create(scale);
        CopySkinToLayer(skin, r.display.layers.background);
        r.display.Compose({.copyBackground = true});
        LayerSet& l = r.display.layers;
        Blit(l.base, l.base, -7, 300, 100, 61, Rop::NotCopy);  // a "picture" over the edge
        Blit(l.base, l.base, 600, 470, 100, 100, Rop::White);
        r.offerChoices(3, 2);
        r.display.painter = nullptr;
    };
    frame(rig, 1);
    for (int scale : {2, 3, kMaxLayerScale}) {
        SCOPED_TRACE(scale);
        EngineRig big;
        frame(big, scale);
        const Layer& b = big.display.layers.screen;
        ASSERT_EQ(b.width(), kLayerWidth * scale);
        int wrong = 0;
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x)
                if (LayerPixel(b, x, y) != LayerPixel(screen(), x / scale, y / scale) &&
                    ++wrong <= 3)
                    ADD_FAILURE() << x << "," << y;
    }
}

TEST_F(DisplayTest, NothingIsDrawnAfterTheLayersAreReleased) {
    rig.display.layers.release();
    rig.display.ShowText("clear", "Hello");
    rig.offerChoices(2);
    rig.display.Clear();
    EXPECT_EQ(presents, 0);
    EXPECT_TRUE(rig.display.layers.screen.empty());
}

}  // namespace
}  // namespace velmora::test
