// The real program on a private Xvfb: what the screen shows through the window's shape
// and its text, a real click confirming a choice, and Escape asking before closing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "window_support.h"
#include "x11_support.h"

namespace velmora::test {
namespace {

constexpr std::uint32_t kBackdrop = 0x00C000, kBody = 0xF0F0E0, kBand = 0x204080;
const QColor kCut(255, 0, 255);

// 300 x 200 skin: cut colour around a body, a dark band on top, a 20 x 20 hole at
// (250, 150).
std::string Skin() {
    QImage img(300, 200, QImage::Format_RGB32);
    img.fill(kCut);
    for (int y = 10; y < 190; ++y)
        for (int x = 10; x < 290; ++x) img.setPixel(x, y, y < 30 ? kBand : kBody);
    for (int y = 150; y < 170; ++y)
        for (int x = 250; x < 270; ++x) img.setPixelColor(x, y, kCut);
    return MakeBmp(img, 24);
}

class RealWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();  // for the skin's QImage
        ASSERT_TRUE(server.ok()) << "Xvfb did not start";
        x = std::make_unique<XClient>(server.display());
        ASSERT_TRUE(x->ok());
        x->showBackdrop(kBackdrop);
        folder.writeBytes("skin.bmp", Skin());
        folder.writeBytes("variable.txt",
                          "[default]\nbackground=skin.bmp\nwindows_pos=100,100,400,300\ntitle=e2e\n"
                          "text_pos=20,40,280,100\nchoice_pos1=20,110,200,130\n"
                          "choice_pos2=20,130,200,150\nchoice_pos3=20,150,200,170\n");
    }
    void start(const std::string& script) {
        folder.writeBytes("code.txt", script);
        program = std::make_unique<ProgramRun>(server.display(), folder.path());
        window = x->findWindow("e2e", 10000);
        ASSERT_NE(window, 0u) << "the window did not appear";
        // The backdrop counts as dark: wait for the skin before looking for text.
        ASSERT_TRUE(WaitUntil([&] { return x->pixel(sx(15), sy(180)) == kBody; }, 10000))
            << "the skin was not painted";
    }
    std::string variables() { return folder.read("variable.txt"); }
    // Screen position of a window pixel.
    int sx(int wx) { return 100 + wx; }
    int sy(int wy) { return 100 + wy; }

    PrivateXServer server;
    std::unique_ptr<XClient> x;
    ScriptDir folder;
    std::unique_ptr<ProgramRun> program;
    XID window = 0;
};

TEST_F(RealWindowTest, ShapeShowsWhatLiesBeneathAndTextAppearsInTextPos) {
    start("[main]\ntext,clear,Hello velmora\npause\n");
    const ScreenRect g = x->geometry(window);
    EXPECT_EQ(g.x, 100);
    EXPECT_EQ(g.width, 300);
    ASSERT_TRUE(
        WaitUntil([&] { return x->darkPixels(sx(20), sy(40), sx(280), sy(100)) > 30; }, 10000))
        << "no text in text_pos";
    EXPECT_EQ(x->pixel(sx(0), sy(0)), kBackdrop) << "the cut colour shows what lies beneath";
    EXPECT_EQ(x->pixel(sx(295), sy(100)), kBackdrop);
    EXPECT_EQ(x->pixel(sx(260), sy(160)), kBackdrop) << "the hole shows what lies beneath";
    EXPECT_EQ(x->pixel(sx(15), sy(15)), kBand);
    EXPECT_EQ(x->pixel(sx(15), sy(150)), kBody);
    EXPECT_EQ(x->pixel(sx(248), sy(160)), kBody);
    // Text only inside its rectangle: the body around it stays clean.
    EXPECT_EQ(x->darkPixels(sx(10), sy(100), sx(240), sy(190)), 0);
    EXPECT_EQ(x->darkPixels(sx(10), sy(30), sx(20), sy(100)), 0);
}

TEST_F(RealWindowTest, ClickConfirmsAChoice) {
    start(
        "[main]\nchoice,3,1,one,two,three\nset,picked,%choice_sel%\nexit\n"
        "[exit]\nset,exited,yes\nendcode\n");
    ASSERT_TRUE(
        WaitUntil([&] { return x->darkPixels(sx(21), sy(131), sx(200), sy(150)) > 5; }, 10000))
        << "choice 2 was not drawn";
    x->click(sx(60), sy(140));
    int status = -1;
    ASSERT_TRUE(program->waitExit(10000, &status)) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string vars = variables();
    EXPECT_NE(vars.find("picked=2"), std::string::npos) << vars;
    EXPECT_NE(vars.find("exited=yes"), std::string::npos) << vars;
}

TEST_F(RealWindowTest, EscapeAsksBeforeClosing) {
    start("[main]\ntext,clear,waiting\npause\n[exit]\nset,exits,%exits%x\nendcode\n");
    ASSERT_TRUE(
        WaitUntil([&] { return x->darkPixels(sx(20), sy(40), sx(280), sy(100)) > 5; }, 10000));
    for (const char* answer : {"Escape", "Return"}) {
        x->focus(window);
        x->key("Escape");
        const XID box = x->findWindow("velmora", 10000);
        ASSERT_NE(box, 0u) << "no question before closing";
        x->focus(box);
        x->key(answer);
        ASSERT_TRUE(WaitUntil([&] { return !x->exists(box); }, 10000));
        // After Cancel the next round's question is the sign that the program went on.
        if (std::string(answer) == "Escape") {
            EXPECT_TRUE(program->running()) << "Cancel must keep the program";
            EXPECT_TRUE(x->exists(window));
        }
    }
    ASSERT_TRUE(program->waitExit(10000));
    EXPECT_NE(variables().find("exits=x\n"), std::string::npos) << "the exit section runs once";
}

}  // namespace
}  // namespace velmora::test
