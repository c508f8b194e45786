// The real program on a private Xvfb: what the screen shows through the window's shape
// and its text, the shape as the X server holds it, a real click confirming a choice,
// and Escape asking before closing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/rect.h"
#include "engine/text.h"
#include "process.h"
#include "window_support.h"
#include "x11_support.h"
// Xlib last: its macros would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace velmora::test {
namespace {

constexpr std::uint32_t kBackdrop = 0x00C000, kBody = 0xF0F0E0, kBand = 0x204080;
// A window of the sanitizer build starts in seconds on a loaded machine.
constexpr int kWait = 20000;
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
        window = x->findWindow("e2e", kWait);
        ASSERT_NE(window, 0u) << "the window did not appear";
        // The backdrop counts as dark: wait for the skin before looking for text.
        ASSERT_TRUE(WaitUntil([&] { return x->pixel(sx(15), sy(180)) == kBody; }, kWait))
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
        WaitUntil([&] { return x->darkPixels(sx(20), sy(40), sx(280), sy(100)) > 30; }, kWait))
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

// The finest checkerboard: one run per opaque pixel, 153,600 in all, far more than one
// request of rectangles can carry.
TEST_F(RealWindowTest, CheckerboardSkinGivesExactlyItsShapeDrawnAndClickable) {
    constexpr int kW = 640, kH = 480;
    auto opaque = [](int wx, int wy) { return (wx + wy) % 2 == 1; };
    QImage board(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) board.setPixel(x, y, opaque(x, y) ? kBody : kCut.rgb());
    folder.writeBytes("skin.bmp", MakeBmp(board, 24));
    folder.writeBytes("variable.txt",
                      "[default]\nbackground=skin.bmp\nwindows_pos=100,100,740,580\ntitle=e2e\n"
                      "text_pos=20,40,280,100\nchoice_pos1=20,110,200,130\n"
                      "choice_pos2=20,130,200,150\nchoice_pos3=20,150,200,170\n");
    start("[main]\nchoice,3,1,one,two,three\nset,picked,%choice_sel%\nexit\n");
    std::vector<bool> shape;
    const bool exact = WaitUntil(
        [&] {
            shape = x->shape(window, kW, kH);
            if (shape.empty()) return false;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    if (shape[size_t(y) * kW + x] != opaque(x, y)) return false;
            return true;
        },
        kWait);
    ASSERT_TRUE(exact) << "the server's shape is not the skin's; (1, 0) in it: "
                       << (shape.empty() ? -1 : int(shape[1]));
    EXPECT_EQ(x->pixel(sx(1), sy(0)), kBody);
    EXPECT_EQ(x->pixel(sx(0), sy(0)), kBackdrop);
    EXPECT_EQ(x->pixel(sx(639), sy(478)), kBody);
    EXPECT_EQ(x->pixel(sx(639), sy(479)), kBackdrop);
    // Half of the choice rows shows the dark backdrop; the text adds to it.
    const int half = (200 - 21) * (150 - 131) / 2;
    ASSERT_TRUE(WaitUntil(
        [&] { return x->darkPixels(sx(21), sy(131), sx(200), sy(150)) > half + 5; }, kWait))
        << "choice 2 was not drawn";
    // A cut pixel of choice 1 belongs to what lies beneath: that click chooses nothing,
    // and the next one, on a pixel of choice 2, is the one that counts.
    x->click(sx(60), sy(120));
    x->click(sx(61), sy(140));
    ASSERT_TRUE(program->waitExit(kWait)) << "the program did not end";
    EXPECT_NE(variables().find("picked=2"), std::string::npos) << variables();
}

TEST_F(RealWindowTest, ClickConfirmsAChoice) {
    start(
        "[main]\nchoice,3,1,one,two,three\nset,picked,%choice_sel%\nexit\n"
        "[exit]\nset,exited,yes\nendcode\n");
    ASSERT_TRUE(
        WaitUntil([&] { return x->darkPixels(sx(21), sy(131), sx(200), sy(150)) > 5; }, kWait))
        << "choice 2 was not drawn";
    x->click(sx(60), sy(140));
    int status = -1;
    ASSERT_TRUE(program->waitExit(kWait, &status)) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string vars = variables();
    EXPECT_NE(vars.find("picked=2"), std::string::npos) << vars;
    EXPECT_NE(vars.find("exited=yes"), std::string::npos) << vars;
}

TEST_F(RealWindowTest, EscapeAsksBeforeClosing) {
    start("[main]\ntext,clear,waiting\npause\n[exit]\nset,exits,%exits%x\nendcode\n");
    ASSERT_TRUE(
        WaitUntil([&] { return x->darkPixels(sx(20), sy(40), sx(280), sy(100)) > 5; }, kWait));
    for (const char* answer : {"Escape", "Return"}) {
        x->focus(window);
        x->key("Escape");
        const XID box = x->findWindow("velmora", kWait);
        ASSERT_NE(box, 0u) << "no question before closing";
        x->focus(box);
        x->key(answer);
        ASSERT_TRUE(WaitUntil([&] { return !x->exists(box); }, kWait));
        // After Cancel the next round's question is the sign that the program went on.
        if (std::string(answer) == "Escape") {
            EXPECT_TRUE(program->running()) << "Cancel must keep the program";
            EXPECT_TRUE(x->exists(window));
        }
    }
    ASSERT_TRUE(program->waitExit(kWait));
    EXPECT_NE(variables().find("exits=x\n"), std::string::npos) << "the exit section runs once";
}

// The close button reaches a script that sleeps: it asks, ends the sleep and the script,
// and runs the exit section.
TEST_F(RealWindowTest, CloseButtonEndsASleep) {
    start(
        "[main]\ntext,clear,waiting\nsleep,600000\nset,after,1\n"
        "[exit]\nset,exited,1\nendcode\n");
    ASSERT_TRUE(
        WaitUntil([&] { return x->darkPixels(sx(20), sy(40), sx(280), sy(100)) > 5; }, kWait));
    x->requestClose(window);
    const XID box = x->findWindow("velmora", kWait);
    ASSERT_NE(box, 0u) << "no question during a sleep";
    x->focus(box);
    x->key("Return");
    ASSERT_TRUE(program->waitExit(kWait));
    EXPECT_NE(variables().find("exited=1"), std::string::npos) << variables();
    EXPECT_EQ(variables().find("after=1"), std::string::npos) << variables();
}

// The close button runs the exit section; its farewell stays on screen through the sleep,
// and a second close ends the sleep and the rest of the section at once.
TEST_F(RealWindowTest, SleepInTheExitSectionWaitsUntilTheNextClose) {
    start(
        "[main]\ntext,clear,waiting\npause\n"
        "[exit]\ntext,clear,farewell farewell\nset,farewell,1\nsleep,600000\nset,after,1\n"
        "endcode\n");
    x->requestClose(window);
    const XID box = x->findWindow("velmora", kWait);
    ASSERT_NE(box, 0u) << "no question before closing";
    x->focus(box);
    x->key("Return");
    ASSERT_TRUE(
        WaitUntil([&] { return variables().find("farewell=1") != std::string::npos; }, kWait));
    EXPECT_TRUE(x->exists(window));
    EXPECT_GT(x->darkPixels(sx(20), sy(40), sx(280), sy(100)), 5) << "the farewell is not shown";
    x->requestClose(window);
    ASSERT_TRUE(program->waitExit(kWait)) << "a second close did not end the sleep";
    EXPECT_EQ(variables().find("after=1"), std::string::npos) << "the sleep did not wait";
}

// The lines of text shown in an area: runs of rows holding dark pixels. Text drawn over
// other text shares its rows and shows fewer lines than were written.
int TextLines(XClient& x, const ScreenRect& area) {
    int lines = 0;
    bool inLine = false;
    for (int y = area.y; y < area.y + area.height; ++y) {
        const bool dark = x.darkPixels(area.x, y, area.x + area.width, y + 1) > 0;
        lines += dark && !inLine;
        inLine = dark;
    }
    return lines;
}

// A skin that fails at start-up is reported in a box in the middle of the screen, not in
// the corner where the window that is not shown yet lies.
TEST(RealWindowStart, SkinErrorBoxIsCentred) {
    PrivateXServer server;
    ASSERT_TRUE(server.ok()) << "Xvfb did not start";
    XClient x(server.display());
    ScriptDir folder;
    folder.writeBytes("variable.txt", "[default]\nbackground=bad.bmp\nwindows_pos=20,20,320,120\n");
    folder.writeBytes("bad.bmp", "BM" + std::string(60, '\0'));
    folder.writeBytes("code.txt", "[main]\npause\n");
    ProgramRun program(server.display(), folder.path());
    const XID box = x.findWindow("velmora", kWait);
    ASSERT_NE(box, 0u) << "no message box";
    ScreenRect g;
    // The box may be moved into place just after it is mapped.
    EXPECT_TRUE(WaitUntil(
        [&] {
            g = x.geometry(box);
            return std::abs(g.x + g.width / 2 - 512) < 60 &&
                   std::abs(g.y + g.height / 2 - 384) < 60;
        },
        kWait))
        << g.x << "," << g.y << " " << g.width << "x" << g.height;
}

// A setting of a variable.txt in CP932, as a rectangle.
Rect SettingRect(const std::string& settings, const std::string& key) {
    Rect r{};
    const size_t at = settings.find("\n" + key + "=");
    if (at != std::string::npos) {
        const size_t from = at + key.size() + 2;
        std::string value = settings.substr(from, settings.find('\n', from) - from);
        if (!value.empty() && value.back() == '\r') value.pop_back();
        ParseRect(value, r);
    }
    return r;
}

// The cookbook and the starter as a user first sees them in the window: the window takes
// its skin's size, the text and every choice are drawn inside it, one text never lands on
// another, each choice answers the pointer, and a click on the last one is taken.
TEST(RealWindowExamples, TextAndEveryChoiceShowInsideTheWindow) {
    namespace fs = std::filesystem;
    EnsureApp();
    const struct {
        const char* folder;  // below examples/, or "" for the starter
        const char* title;
        int lines;      // of text at the first choice
        int choices;    // shown then
        bool lastEnds;  // the last choice ends the program
    } cases[] = {
        {"", "はじめての velmora", 3, 6, true},
        {"timed-quiz", "時間制限クイズ", 2, 3, false},
        {"answer-log", "回答ノート", 1, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        PrivateXServer server;
        ASSERT_TRUE(server.ok()) << "Xvfb did not start";
        XClient x(server.display());
        x.showBackdrop(kBackdrop);
        ScriptDir parent;
        const std::string home = parent.file("program");
        if (*c.folder) {
            fs::copy(std::string(VELMORA_SOURCE_DIR) + "/examples/" + c.folder, home);
        } else {
            ProcessResult made =
                RunProcess({std::string(VELMORA_BIN_DIR) + "/velmora", "--new", home}, {});
            ASSERT_EQ(made.status, 0) << made.err;
        }
        std::string settings = parent.read("program/variable.txt");
        // The quiz's timer must not end the question while the test looks at it, and a
        // placement of the test's own keeps the window from moving after it appears.
        const size_t seconds = settings.find("seconds=10");
        if (seconds != std::string::npos) settings.replace(seconds, 10, "seconds=600");
        settings.replace(settings.find("[default]") + 9, 0, "\nwindows_pos=40,40,480,370");
        parent.writeBytes("program/variable.txt", settings);
        ProgramRun program(server.display(), home);
        const XID window = x.findWindow(c.title, kWait);
        ASSERT_NE(window, 0u) << "the window did not appear";
        // Asked afresh each time: the window may be placed after it first appears.
        auto onScreen = [&](const Rect& r) {
            const ScreenRect w = x.geometry(window);
            return ScreenRect{w.x + r.left, w.y + r.top, r.width(), r.height()};
        };
        auto inside = [&](const Rect& r) {
            const ScreenRect w = x.geometry(window);
            return r.left >= 0 && r.top >= 0 && r.right <= w.width && r.bottom <= w.height &&
                   r.width() > 0 && r.height() > 0;
        };
        const Rect text = SettingRect(settings, "text_pos");
        EXPECT_TRUE(inside(text));
        const Rect last = SettingRect(settings, "choice_pos" + std::to_string(c.choices));
        ASSERT_TRUE(WaitUntil(
            [&] {
                const ScreenRect r = onScreen(last);
                return x.darkPixels(r.x, r.y, r.x + r.width, r.y + r.height) > 5;
            },
            kWait))
            << "the last choice was not drawn";
        // The window may still be painting: wait for the lines, which text drawn over text
        // never gives.
        EXPECT_TRUE(WaitUntil([&] { return TextLines(x, onScreen(text)) == c.lines; }, kWait))
            << TextLines(x, onScreen(text)) << " lines";
        // From the last up: the first is framed already, and each move frames another.
        for (int i = c.choices; i >= 1; --i) {
            SCOPED_TRACE(i);
            const Rect r = SettingRect(settings, "choice_pos" + std::to_string(i));
            ASSERT_TRUE(inside(r));
            const ScreenRect s = onScreen(r);
            // Waited for, as the window may be repainting just then.
            EXPECT_TRUE(WaitUntil(
                [&] { return x.darkPixels(s.x, s.y, s.x + s.width, s.y + s.height) > 5; }, kWait))
                << "not drawn";
            // The pointer over a choice frames it: the frame inverts the pixels around it.
            const std::uint32_t before = x.pixel(s.x - 1, s.y + s.height / 2);
            x.move(s.x + s.width / 2, s.y + s.height / 2);
            EXPECT_TRUE(
                WaitUntil([&] { return x.pixel(s.x - 1, s.y + s.height / 2) != before; }, kWait))
                << "the pointer does not reach it";
        }
        const ScreenRect s = onScreen(last);
        x.click(s.x + s.width / 2, s.y + s.height / 2);
        if (c.lastEnds) {
            EXPECT_TRUE(program.waitExit(kWait)) << "the click was not taken";
        } else {
            EXPECT_TRUE(
                WaitUntil([&] { return TextLines(x, onScreen(text)) == c.lines + 1; }, kWait))
                << "the click was not taken";
        }
    }
}

}  // namespace
}  // namespace velmora::test
