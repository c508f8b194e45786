// Skins through the window: BMP files of the usual depths, stored bottom-up or top-down,
// the region cut from them, the background layer, the window's size, the two error
// messages for missing files and hostile headers, and the `background` command.
#include "window/qt_skin.h"

#include <gtest/gtest.h>

#include <QTest>

#include "window/qt_script_window.h"
#include "window/qt_text_painter.h"
#include "window/window_commands.h"
#include "window_support.h"

namespace velmora::test {
namespace {

const QColor kCut(255, 0, 255), kSkin(30, 60, 90), kRing(200, 180, 20);

// 40 x 30: cut colour around, a skin-coloured body, a ring colour band, a hole at
// (20, 15) of 3 x 3.
QImage SampleSkin() {
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(kCut);
    for (int y = 2; y < 28; ++y)
        for (int x = 4; x < 36; ++x) img.setPixelColor(x, y, y < 6 ? kRing : kSkin);
    for (int y = 14; y < 17; ++y)
        for (int x = 19; x < 22; ++x) img.setPixelColor(x, y, kCut);
    return img;
}

std::uint32_t Get32(const std::string& f, size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | std::uint8_t(f[at + i]);
    return v;
}

void Set32(std::string& f, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = char(v >> (8 * i));
}

// The same picture stored top row first: a negative height and the rows reversed.
std::string TopDown(const std::string& bmp) {
    const std::uint32_t offset = Get32(bmp, 10), height = Get32(bmp, 22);
    const size_t rowBytes = (bmp.size() - offset) / height;
    std::string f = bmp.substr(0, offset);
    Set32(f, 22, std::uint32_t(-std::int32_t(height)));
    for (std::uint32_t r = height; r-- > 0;) f += bmp.substr(offset + r * rowBytes, rowBytes);
    return f;
}

// A 54-byte file: the header alone, with the given sizes and bit count.
std::string HeaderOnly(std::uint32_t width, std::uint32_t height, std::uint16_t bits,
                       std::uint32_t compression = 0) {
    std::string f = "BM" + std::string(52, '\0');
    Set32(f, 2, 54);
    Set32(f, 10, 54);
    Set32(f, 14, 40);
    Set32(f, 18, width);
    Set32(f, 22, height);
    f[26] = 1;
    f[28] = char(bits & 0xFF);
    f[29] = char(bits >> 8);
    Set32(f, 30, compression);
    return f;
}

// A 16 x 16 run-length BMP (RLE8 or RLE4) of two colours, a row of 16 pixels of colour 1
// at a time, ending after `rows` rows; with all 16 it has its end marker.
std::string RleBmp(bool four, int rows) {
    std::string f = HeaderOnly(16, 16, four ? 4 : 8, four ? 2 : 1);
    Set32(f, 10, 54 + 8);
    Set32(f, 46, 2);  // colours in the palette
    f += std::string("\x00\x00\x00\x00\xFF\xFF\xFF\x00", 8);
    for (int r = 0; r < rows; ++r)
        f += std::string(four ? "\x10\x11\x00\x00" : "\x10\x01\x00\x00", 4);
    if (rows == 16) f += std::string("\x00\x01", 2);
    Set32(f, 2, std::uint32_t(f.size()));
    return f;
}

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        rig.display.painter = &painter;
        rig.display.present = [this] { ++presents; };
        rig.display.Compose({.copyBackground = true, .clearText = true});
    }
    std::uint32_t bg(int x, int y) { return LayerPixel(rig.display.layers.background, x, y); }

    EngineRig rig;
    QtTextPainter painter;
    ScriptWindow window{rig.engine, rig.display};
    int presents = 0;
};

TEST_F(SkinTest, EveryUsualDepthGivesTheSameWindow) {
    for (int bits : {1, 4, 8, 16, 24, 32})
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(std::to_string(bits) + (topDown ? " bits, top-down" : " bits"));
            QImage pic = SampleSkin();
            if (bits == 1) {  // two colours only
                for (int y = 0; y < pic.height(); ++y)
                    for (int x = 0; x < pic.width(); ++x)
                        if (pic.pixelColor(x, y) == kRing) pic.setPixelColor(x, y, kSkin);
            }
            const std::string bmp = MakeBmp(pic, bits);
            rig.folder.writeBytes("skin.bmp", topDown ? TopDown(bmp) : bmp);
            window.LoadSkin("skin.bmp");
            ASSERT_TRUE(rig.fe.messages.empty()) << Cp932ToUtf8(rig.fe.messages[0]);
            EXPECT_EQ(window.size(), QSize(40, 30));
            EXPECT_EQ(window.skinWidth(), 40);
            const QRegion& r = window.shape();
            EXPECT_FALSE(r.contains(QPoint(0, 0)));
            EXPECT_FALSE(r.contains(QPoint(3, 10)));
            EXPECT_TRUE(r.contains(QPoint(4, 10)));
            EXPECT_TRUE(r.contains(QPoint(35, 27)));
            EXPECT_FALSE(r.contains(QPoint(36, 27)));
            EXPECT_FALSE(r.contains(QPoint(20, 15))) << "the hole is cut";
            EXPECT_TRUE(r.contains(QPoint(18, 15)));
            EXPECT_EQ(window.mask(), r);
            // 16-bit pixels keep 5 bits a channel.
            const std::uint32_t want = bits == 16 ? 0x183858 : 0x1E3C5A;
            EXPECT_EQ(bg(10, 20), want);
            EXPECT_EQ(bg(10, 3), bits == 1    ? want
                                 : bits == 16 ? 0xC8B010u
                                              : 0xC8B414u)
                << "the ring stays on top";
            EXPECT_EQ(bg(0, 0), bits == 16 ? 0xF800F8u : 0xFF00FFu);
            EXPECT_EQ(bg(100, 100), 0xFFFFFFu) << "the rest of the layer keeps its white";
        }
}

TEST_F(SkinTest, LoadingComposesKeepsTextDropsPictures) {
    rig.display.ShowText("clear", "Hello");
    std::fill_n(rig.display.layers.base.row(200), rig.display.layers.base.stride(),
                std::uint8_t(0));  // a picture
    rig.folder.writeBytes("skin.bmp", MakeBmp(SampleSkin(), 24));
    presents = 0;
    window.LoadSkin("skin.bmp");
    EXPECT_EQ(presents, 1);
    const Layer& screen = rig.display.layers.screen;
    EXPECT_EQ(LayerPixel(screen, 10, 27), 0x1E3C5Au);
    EXPECT_EQ(LayerPixel(screen, 10, 200), 0xFFFFFFu);
    EXPECT_GT(DarkPixels(screen, 40, 10, 350, 150), 0) << "the text stays";
}

TEST_F(SkinTest, AllTransparentSkinLeavesNothingOfTheWindow) {
    QImage plain(20, 10, QImage::Format_RGB32);
    plain.fill(kCut);
    rig.folder.writeBytes("plain.bmp", MakeBmp(plain, 24));
    window.LoadSkin("plain.bmp");
    EXPECT_TRUE(window.shape().isEmpty());
    EXPECT_FALSE(window.mask().isEmpty()) << "an empty mask would show the whole window";
    EXPECT_FALSE(window.mask().intersects(QRect(0, 0, 20, 10)));
}

TEST_F(SkinTest, LargeSkinsAreCutAtTheLayerEdge) {
    QImage big(700, 500, QImage::Format_RGB32);
    big.fill(kSkin);
    big.setPixelColor(0, 0, kCut);
    rig.folder.writeBytes("big.bmp", MakeBmp(big, 24));
    window.LoadSkin("big.bmp");
    EXPECT_EQ(window.size(), QSize(700, 500));
    EXPECT_TRUE(window.shape().contains(QPoint(699, 499)));
    EXPECT_EQ(bg(639, 479), 0x1E3C5Au);
}

TEST_F(SkinTest, FailuresReportAndLeaveEverythingAsItWas) {
    rig.folder.writeBytes("skin.bmp", MakeBmp(SampleSkin(), 24));
    window.LoadSkin("skin.bmp");
    const QRegion before = window.shape();
    const std::string bmp = MakeBmp(SampleSkin(), 24);
    rig.folder.writeBytes("short.bmp", bmp.substr(0, 200));  // a BMP whose pixels are missing
    std::string odd = bmp;
    odd[28] = 7;  // seven bits a pixel
    rig.folder.writeBytes("odd.bmp", odd);
    rig.folder.writeBytes("text.bmp", "not a picture");
    // Sizes that overflow any product of them, and sizes no window can take.
    rig.folder.writeBytes("absurd.bmp", HeaderOnly(0x7FFFFFFF, 0x7FFFFFFF, 0xFFFF));
    rig.folder.writeBytes("huge.bmp", HeaderOnly(0x10000, 0x10000, 24));
    rig.folder.writeBytes("lowest.bmp", HeaderOnly(16, 0x80000000, 24));
    rig.folder.writeBytes("zero.bmp", HeaderOnly(0, 10, 24));
    // Rows stored top first are never run-length compressed.
    rig.folder.writeBytes("rle.bmp",
                          HeaderOnly(16, std::uint32_t(-16), 8, 1) + std::string(64, '\0'));
    // Run-length rows cut off by the end of the file; whole ones load.
    rig.folder.writeBytes("rle8-short.bmp", RleBmp(false, 4));
    rig.folder.writeBytes("rle4-short.bmp", RleBmp(true, 4));
    for (bool four : {false, true}) {
        rig.folder.writeBytes("whole.bmp", RleBmp(four, 16));
        window.LoadSkin("whole.bmp");
        EXPECT_TRUE(rig.fe.messages.empty()) << four;
        EXPECT_EQ(window.size(), QSize(16, 16)) << four;
    }
    rig.folder.writeBytes("skin.bmp", MakeBmp(SampleSkin(), 24));
    window.LoadSkin("skin.bmp");
    const std::string dir = rig.folder.programPath();
    struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"missing.bmp", dir + "missing.bmp のロードに失敗しました"},
        {"text.bmp", dir + "text.bmp のロードに失敗しました"},
        {"short.bmp", "BMPデータエラーが発生しました"},
        {"odd.bmp", "BMPデータエラーが発生しました"},
        {"absurd.bmp", "BMPデータエラーが発生しました"},
        {"huge.bmp", "BMPデータエラーが発生しました"},
        {"lowest.bmp", "BMPデータエラーが発生しました"},
        {"zero.bmp", "BMPデータエラーが発生しました"},
        {"rle.bmp", "BMPデータエラーが発生しました"},
        {"rle8-short.bmp", "BMPデータエラーが発生しました"},
        {"rle4-short.bmp", "BMPデータエラーが発生しました"},
    };
    for (const auto& c : cases) {
        rig.fe.messages.clear();
        rig.engine.running = true;
        window.LoadSkin(c.name);
        ASSERT_EQ(rig.fe.messagesUtf8(), std::vector<std::string>{c.message});
        EXPECT_FALSE(rig.engine.running) << "the script waits after a failed skin";
        EXPECT_EQ(window.shape(), before);
        EXPECT_EQ(window.size(), QSize(40, 30));
        EXPECT_EQ(bg(10, 20), 0x1E3C5Au);
    }
}

TEST_F(SkinTest, NamesResolveAgainstTheProgramFolderOrTheBackgroundSetting) {
    rig.folder.writeBytes("skin.bmp", MakeBmp(SampleSkin(), 24));
    window.LoadSkin("");  // no name, no setting: nothing happens
    EXPECT_TRUE(rig.fe.messages.empty());
    EXPECT_EQ(window.size(), QSize(300, 100));
    rig.engine.vars[kBackground] = "skin.bmp";
    window.LoadSkin("");
    EXPECT_EQ(window.size(), QSize(40, 30));
    // An absolute name is used as given.
    ScriptDir other;
    QImage wide(60, 10, QImage::Format_RGB32);
    wide.fill(kSkin);
    other.writeBytes("wide.bmp", MakeBmp(wide, 24));
    window.LoadSkin(other.file("wide.bmp"));
    EXPECT_EQ(window.size(), QSize(60, 10));
}

TEST_F(SkinTest, BackgroundCommandGoesToTheFrontEnd) {
    WindowCommands commands(rig.engine);
    rig.folder.writeBytes("code.txt", "[main]\nbackground,skin.bmp\nbackground,\nbackground\n");
    rig.engine.LoadSettings();  // loads the (empty) background setting first
    rig.engine.StartScript();
    // The third line lacks its parameter: the script stops with the parameter message.
    EXPECT_EQ(rig.fe.skins, (std::vector<std::string>{"", "skin.bmp", ""}));
    ASSERT_FALSE(rig.fe.messages.empty());
    EXPECT_NE(rig.fe.messagesUtf8()[0].find("パラメーターが足りません background"),
              std::string::npos);
}

TEST(SkinRegion, CheckerboardRegionMatchesItsPixels) {
    EnsureApp();
    QImage img(64, 48, QImage::Format_BGR888);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) img.setPixelColor(x, y, (x / 2 + y) % 2 ? kSkin : kCut);
    const QRegion r = SkinRegion(img);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(r.contains(QPoint(x, y)), (x / 2 + y) % 2 == 1) << x << "," << y;
}

}  // namespace
}  // namespace velmora::test
