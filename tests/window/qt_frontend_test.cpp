// The Qt front end and its dialogs: the standard message box, InputDialog with its
// 250-byte CP932 limit, AboutDialog, the script timer, posted calls from other threads,
// and the release of the display.
#include "window/qt_frontend.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <thread>

#include "engine/engine.h"
#include "window/display.h"
#include "window/qt_cp932.h"
#include "window/qt_dialogs.h"
#include "window/qt_script_window.h"
#include "window_support.h"

namespace velmora::test {
namespace {

// Runs `act` on the next modal dialog once it is shown.
void WhenModal(std::function<void(QDialog*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d || !d->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(d);
    });
    timer->start(10);
}

// Types each character as a key press carrying it, as an input method delivers text.
void Type(QWidget* w, const QString& text) {
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
    }
}

class FrontendTest : public ::testing::Test {
protected:
    FrontendTest() { EnsureApp(); }
    void SetUp() override {
        fe.attach(engine, display);
        display.layers.create();
    }
    WindowFrontend fe{QStringLiteral("velmora")};
    Engine engine{fe};
    Display display{engine};
};

TEST_F(FrontendTest, MessageBoxesCarryTheProgramNameAndAWarning) {
    ModalAnswerer answers({true, false, true});
    fe.messageBox(Utf8ToCp932("お知らせ"));
    EXPECT_FALSE(fe.askOkCancel(Utf8ToCp932("終了しますか？")));
    EXPECT_TRUE(fe.askOkCancel(Utf8ToCp932("最初に戻りますか？")));
    EXPECT_EQ(answers.texts,
              (QStringList{QString::fromUtf8("お知らせ"), QString::fromUtf8("終了しますか？"),
                           QString::fromUtf8("最初に戻りますか？")}));
    EXPECT_EQ(answers.captions, QStringList(3, QStringLiteral("velmora")));
    EXPECT_EQ(answers.hadWarningIcon, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(answers.buttonCounts, (std::vector<int>{1, 2, 2}));
}

// OK and Cancel in the user's language, not English beside Japanese text.
TEST_F(FrontendTest, QtButtonsSpeakTheLocale) {
    auto cancelText = [] {
        QMessageBox box(QMessageBox::Warning, "c", "t", QMessageBox::Ok | QMessageBox::Cancel);
        return box.button(QMessageBox::Cancel)->text();
    };
    std::unique_ptr<QTranslator> texts = InstallQtTranslations(QLocale(QLocale::Japanese));
    ASSERT_NE(texts, nullptr) << "Qt's translations (qt6-translations-l10n) are missing";
    EXPECT_EQ(cancelText(), QString::fromUtf8("キャンセル"));
    texts.reset();
    EXPECT_NE(cancelText(), QString::fromUtf8("キャンセル"));
}

TEST_F(FrontendTest, InputDialogReturnsTheTypedTextInCp932) {
    WhenModal([](QDialog* d) {
        auto* in = qobject_cast<InputDialog*>(d);
        ASSERT_NE(in, nullptr);
        EXPECT_EQ(in->promptLabel()->text(), QString::fromUtf8("お名前は？"));
        EXPECT_TRUE(in->windowTitle().isEmpty());
        EXPECT_EQ(in->edit()->text(), QString()) << "the field always opens empty";
        Type(in->edit(), QString::fromUtf8("山田 taro"));
        QTest::keyClick(in->edit(), Qt::Key_Return);
    });
    std::string answer = "old";
    EXPECT_TRUE(fe.inputDialog(Utf8ToCp932("お名前は？"), answer));
    EXPECT_EQ(answer, Utf8ToCp932("山田 taro"));
}

TEST_F(FrontendTest, EscapeInTheInputDialogGivesAnEmptyAnswer) {
    WhenModal([](QDialog* d) {
        QTest::keyClicks(qobject_cast<InputDialog*>(d)->edit(), QStringLiteral("typed"));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    std::string answer = "old";
    EXPECT_FALSE(fe.inputDialog("?", answer));
    EXPECT_EQ(answer, "");
}

TEST_F(FrontendTest, InputCommandStoresTheAnswerInVar1) {
    WhenModal([](QDialog* d) { d->accept(); });  // OK on an empty field
    engine.vars[kVar1] = "before";
    engine.line.command = "input";
    engine.line.param[0] = "?";
    engine.line.paramCount = 1;
    engine.executeLine();
    EXPECT_EQ(engine.vars[kVar1], "");
}

TEST(InputDialogLimit, AcceptsAtMost250BytesOfCp932) {
    EnsureApp();
    struct {
        QString typed;
        int expectedBytes;
    } cases[] = {
        {QString(300, QLatin1Char('a')), 250},
        {QString(200, QChar(0x3042)), 250},  // あ is two bytes: 125 of them fit
        {QString(249, QLatin1Char('a')) + QChar(0x3042) + QLatin1Char('b'), 250},
        {QString(10, QChar(0xFF71)), 10},  // half-width katakana is one byte
    };
    for (const auto& c : cases) {
        InputDialog dialog(nullptr, QStringLiteral("?"));
        Type(dialog.edit(), c.typed);
        EXPECT_EQ(int(ToCp932(dialog.edit()->text()).size()), c.expectedBytes);
    }
}

TEST(InputDialogLimit, APasteKeepsThePartThatFitsInWholeCharacters) {
    EnsureApp();
    const QString a = QStringLiteral("a"), hira = QString(QChar(0x3042));  // 1 and 2 bytes
    const struct {
        QString before;
        int cursor;
        QString pasted, expected;
    } cases[] = {
        {"", 0, a.repeated(300), a.repeated(250)},
        {a.repeated(249), 249, hira + a, a.repeated(249)},  // あ would pass the limit by one
        {a.repeated(247), 247, "x" + hira + "yz", a.repeated(247) + "x" + hira},
        {"<>", 1, hira.repeated(200), "<" + hira.repeated(124) + ">"},
        {a.repeated(250), 250, "b", a.repeated(250)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.size());
        InputDialog dialog(nullptr, QStringLiteral("?"));
        QLineEdit* edit = dialog.edit();
        edit->setText(c.before);
        edit->setCursorPosition(c.cursor);
        QApplication::clipboard()->setText(c.pasted);
        edit->paste();
        EXPECT_EQ(edit->text(), c.expected);
    }
    // A character outside CP932 is kept or dropped whole, never half a surrogate pair.
    const QString emoji = QString::fromUtf8("😀");
    InputDialog dialog(nullptr, QStringLiteral("?"));
    QApplication::clipboard()->setText(emoji.repeated(300));
    dialog.edit()->paste();
    const QString kept = dialog.edit()->text();
    EXPECT_EQ(kept, emoji.repeated(kept.size() / 2));
    EXPECT_LE(ToCp932(kept).size(), 250u);
    EXPECT_GT(ToCp932(kept + emoji).size(), 250u);
}

TEST(InputDialogLimit, LongPromptsAreCutToTheirArea) {
    EnsureApp();
    InputDialog dialog(nullptr, QString(400, QChar(0x3042)));
    const QLabel* prompt = dialog.promptLabel();
    EXPECT_TRUE(prompt->wordWrap());
    EXPECT_LT(prompt->height(), prompt->heightForWidth(prompt->width()));
    EXPECT_LT(prompt->geometry().bottom(), dialog.edit()->geometry().top());
}

TEST(AboutDialogContents, IconTextAndOk) {
    EnsureApp();
    AboutDialog about(nullptr);
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("バージョン"));
    bool icon = false, text = false;
    for (QLabel* l : about.findChildren<QLabel*>()) {
        icon |= !l->pixmap().isNull();
        text |= l->text() == QStringLiteral("Quillet Version 1.0");
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(text);
    auto buttons = about.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->text(), QStringLiteral("OK"));
    EXPECT_TRUE(buttons[0]->isDefault());
    about.show();
    QTest::keyClick(&about, Qt::Key_Return);
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(FrontendTest, ScriptTimerExpiryReachesTheEngine) {
    engine.line.command = "timer";
    engine.line.param[0] = "wait";
    engine.line.param[1] = "0";
    engine.line.paramCount = 2;
    engine.executeLine();
    EXPECT_FALSE(engine.running);
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine.running; }, 10000));
    EXPECT_EQ(engine.vars[kVar3], "timeout");
    EXPECT_FALSE(engine.timerActive());
}

TEST_F(FrontendTest, KilledTimerNeverFires) {
    fe.startScriptTimer(20);
    fe.killScriptTimer();
    // A timer due later has fired: the killed one would have fired before it.
    bool later = false;
    QTimer::singleShot(100, [&] { later = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return later; }, 10000));
    EXPECT_NE(engine.vars[kVar3], "timeout");
}

TEST_F(FrontendTest, PostedCallsRunOnTheUserInterfaceThread) {
    std::thread::id ranOn;
    std::thread worker([&] { fe.postToUi([&] { ranOn = std::this_thread::get_id(); }); });
    worker.join();
    EXPECT_EQ(ranOn, std::thread::id());
    for (int i = 0; i < 50 && ranOn == std::thread::id(); ++i) fe.pumpOneMessage();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(FrontendTest, DisplayCallsReachTheLayersAndReleaseEndsPainting) {
    engine.vars[kTextPos] = "10,10,350,150";
    fe.showText("clear", "Hello");
    EXPECT_GT(DarkPixels(display.layers.screen, 10, 10, 350, 150), 0);
    fe.clearDisplay();
    EXPECT_EQ(DarkPixels(display.layers.screen, 0, 0, 640, 480), 0);
    fe.releaseDisplay();
    EXPECT_FALSE(display.layers.ready);
    fe.window()->grab();  // painting a released display must not touch the layers
}

TEST_F(FrontendTest, CloseRequestRunsShutdownOnce) {
    fe.placeWindow("10,10,330,110");
    ModalAnswerer answers({true});
    fe.requestClose();
    EXPECT_TRUE(engine.quit);
    EXPECT_FALSE(fe.window()->isVisible());
    fe.requestClose();
    EXPECT_EQ(answers.texts, QStringList{QString::fromUtf8("終了しますか？")});
}

}  // namespace
}  // namespace velmora::test
