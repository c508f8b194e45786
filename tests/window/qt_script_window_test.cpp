// ScriptWindow on the offscreen platform, driven by QtTest's simulated keys and mouse:
// highlight and confirmation, the composed frame it paints, dragging, the hand cursor,
// Escape and the close request, placement, title and the About item.
#include "window/qt_script_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include "window/qt_text_painter.h"
#include "window_support.h"

namespace velmora::test {
namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.display.painter = &painter;
        rig.display.present = [this] { window.Present(); };
        rig.display.Compose({.copyBackground = true, .clearText = true});
        window.PlaceWindow("100,100,740,580");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // The window as painted, at (x, y), as 0xRRGGBB.
    std::uint32_t painted(int x, int y) { return window.grab().toImage().pixel(x, y) & 0xFFFFFF; }
    std::uint32_t screenPixel(int x, int y) { return LayerPixel(rig.display.layers.screen, x, y); }

    EngineRig rig;
    QtTextPainter painter;
    ScriptWindow window{rig.engine, rig.display};
};

TEST_F(WindowTest, ArrowKeysMoveTheFrameAndEnterConfirms) {
    rig.offerChoices(3, 1);
    EXPECT_EQ(screenPixel(18, 48), 0u);
    QTest::keyClick(&window, Qt::Key_Up);
    EXPECT_EQ(rig.engine.choice.highlighted, 3);
    EXPECT_EQ(screenPixel(18, 48), 0xFFFFFFu) << "the frame left choice 1";
    EXPECT_EQ(screenPixel(18, 88), 0u) << "the frame is around choice 3";
    EXPECT_EQ(painted(18, 88), 0u);
    QTest::keyClick(&window, Qt::Key_Down);
    QTest::keyClick(&window, Qt::Key_Down);
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_EQ(rig.engine.vars[kChoiceSel], "2");
    EXPECT_EQ(rig.engine.vars[kChoiceText], "choice 2");
    EXPECT_TRUE(rig.engine.running);
}

TEST_F(WindowTest, AutoRepeatedReleasesDoNotConfirm) {
    rig.offerChoices(2, 1);
    QTest::keyPress(&window, Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(&window, &repeat);
    EXPECT_FALSE(rig.engine.running);
    QTest::keyRelease(&window, Qt::Key_Space);
    EXPECT_TRUE(rig.engine.running);
    EXPECT_EQ(rig.engine.vars[kChoiceSel], "1");
}

TEST_F(WindowTest, ClickConfirmsAndTheFrameGoes) {
    rig.offerChoices(3, 1);
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(rig.engine.vars[kChoiceSel], "3");
    EXPECT_FALSE(rig.engine.choice.active);
    rig.display.Compose({.present = true});
    EXPECT_EQ(painted(18, 88), 0xFFFFFFu);
    EXPECT_GT(DarkPixels(rig.display.layers.screen, 20, 90, 320, 110), 0)
        << "the choice texts stay after the answer";
}

TEST_F(WindowTest, PressAndReleaseOnDifferentChoicesConfirmNothing) {
    rig.offerChoices(3, 1);
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(100, 80));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(rig.engine.choice.highlighted, 3);
    EXPECT_TRUE(rig.engine.choice.active);
    EXPECT_FALSE(rig.engine.running);
}

TEST_F(WindowTest, RightButtonIsNotAClick) {
    rig.offerChoices(3, 1);
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(100, 80));
    EXPECT_TRUE(rig.engine.choice.active);
}

TEST_F(WindowTest, PressOutsideTargetsDragsTheWindow) {
    const QPoint start = window.pos();
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(500, 300));
    QMouseEvent move(QEvent::MouseMove, QPointF(530, 320), window.mapToGlobal(QPointF(530, 320)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    EXPECT_EQ(window.pos(), start + QPoint(30, 20));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(500, 300));
    EXPECT_FALSE(window.interaction().dragging());
}

TEST_F(WindowTest, HandCursorOverTargetsArrowElsewhere) {
    rig.offerChoices(2, 1);
    rig.engine.exitArea = Rect{600, 400, 630, 430};
    struct {
        QPoint at;
        Qt::CursorShape shape;
    } cases[] = {{{100, 60}, Qt::PointingHandCursor},
                 {{400, 300}, Qt::ArrowCursor},
                 {{610, 410}, Qt::PointingHandCursor},
                 {{20, 60}, Qt::ArrowCursor}};
    for (const auto& c : cases) {
        QTest::mouseMove(&window, c.at);
        EXPECT_EQ(window.cursor().shape(), c.shape) << c.at.x() << "," << c.at.y();
    }
}

TEST_F(WindowTest, EscapeAsksAndCancelKeepsTheWindow) {
    rig.fe.okAnswers = {false};
    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_EQ(rig.fe.questions.size(), 1u);
    EXPECT_EQ(Cp932ToUtf8(rig.fe.questions[0]), "終了しますか？");
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(rig.engine.quit);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(rig.engine.quit);
    EXPECT_FALSE(window.isVisible());
    // A second close does not ask again.
    window.show();
    window.close();
    EXPECT_EQ(rig.fe.questions.size(), 2u);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(WindowTest, EnterWithoutChoicesDoesNothing) {
    QTest::keyClick(&window, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(rig.fe.questions.empty());
}

TEST_F(WindowTest, PaintsTheLastFrameWithoutComposingAndNothingAfterRelease) {
    rig.display.ShowText("clear", "Hello");
    // Text drawn on the layer but not composed does not show on a repaint.
    painter.drawText(rig.display.layers.text, Rect{10, 300, 300, 340}, "Hidden");
    EXPECT_GT(DarkPixels(rig.display.layers.screen, 10, 10, 350, 150), 0);
    const QImage shot = window.grab().toImage();
    int dark = 0, hidden = 0;
    for (int y = 10; y < 150; ++y)
        for (int x = 10; x < 350; ++x) dark += qGray(shot.pixel(x, y)) < 128;
    for (int y = 300; y < 340; ++y)
        for (int x = 10; x < 300; ++x) hidden += qGray(shot.pixel(x, y)) < 128;
    EXPECT_GT(dark, 0);
    EXPECT_EQ(hidden, 0);
    rig.display.layers.release();
    const QImage after = window.grab().toImage();
    EXPECT_NE(after.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu) << "the released frame still shows";
}

TEST_F(WindowTest, PlacementUsesTheSettingOrTheLowerRight) {
    rig.engine.vars[kWindowsPos] = "10,20,330,120";
    window.PlaceWindow("");
    EXPECT_EQ(window.geometry(), QRect(10, 20, 320, 100));
    rig.engine.vars[kWindowsPos] = "-150,0,200,100";
    window.PlaceWindow("");
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    EXPECT_EQ(window.geometry(),
              QRect(screen.width() - 300 - 21, screen.height() - 100 - 51, 300, 100));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(WindowTest, WindowIsBorderlessTopMostWithItsOwnTaskBarEntry) {
    const Qt::WindowFlags f = window.windowFlags();
    EXPECT_TRUE(f & Qt::FramelessWindowHint);
    EXPECT_TRUE(f & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(f & Qt::WindowType_Mask, Qt::Window);
    EXPECT_FALSE(window.windowIcon().isNull());
}

TEST_F(WindowTest, TitleFromTheTextOrTheTitleSetting) {
    window.SetTitle(Utf8ToCp932("すくりぷと"));
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("すくりぷと"));
    rig.engine.vars[kTitle] = Utf8ToCp932("既定の題");
    window.SetTitle("");
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("既定の題"));
}

TEST_F(WindowTest, RightClickMenuCarriesTheAboutItem) {
    QStringList items;
    QTimer::singleShot(50, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : menu->actions()) items << a->text();
            menu->close();
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(50, 50),
                            window.mapToGlobal(QPoint(50, 50)));
    QApplication::sendEvent(&window, &event);
    EXPECT_EQ(items, QStringList{QString::fromUtf8("Quillet のﾊﾞｰｼﾞｮﾝ情報(&A)...")});
}

TEST_F(WindowTest, AboutOpensModallyAndCloses) {
    ModalAnswerer answers({true});
    window.ShowAbout();
    EXPECT_EQ(answers.captions, QStringList{QString::fromUtf8("バージョン")});
}

}  // namespace
}  // namespace velmora::test
