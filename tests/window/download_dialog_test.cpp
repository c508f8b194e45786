// DownloadDialog on Qt's offscreen platform (the status it shows while the task runs, its
// own close after the task ends, every way of cancelling), and in the real program on
// Xvfb (drawn on the screen, cancelled by real keys and a real click).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "engine/text.h"
#include "http_test_server.h"
#include "window/qt_dialogs.h"
#include "window/qt_download_dialog.h"
#include "window_support.h"
#include "x11_support.h"

namespace velmora {
namespace {

using test::HttpTestServer;
using test::MakeBmp;
using test::PrivateXServer;
using test::ProgramRun;
using test::ScreenRect;
using test::ScriptDir;
using test::Send;
using test::Silence;
using test::Stream;
using test::WaitUntil;
using test::XClient;

// A task the test drives by hand; close() records how the dialog ended it.
class ScriptedTask : public ProgressTask {
public:
    std::string status;
    bool done = false;
    bool started = false;
    int closes = 0;  // every call, though only the first has an effect
    bool closedUnfinished = false;

    ProgressAmount progress;

    void start() override { started = true; }
    std::string statusText() const override { return status; }
    ProgressAmount amount() const override { return progress; }
    bool finished() const override { return done; }
    void close() override {
        if (closes++ > 0) return;
        closedUnfinished = !done;
        if (!done) status = Utf8ToCp932("中断しています……");
        done = true;
    }
};

QString Shown(QDialog& d, const char* name) {
    return d.findChild<QLabel*>(name)->text();
}

class DownloadDialogTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApp(); }
    ScriptedTask task;
};

TEST_F(DownloadDialogTest, ShowsCaptionUrlAndTheLatestStatus) {
    task.status = Utf8ToCp932("接続中");
    DownloadDialog d(nullptr, Utf8ToCp932("ダウンロード"), "http://example.com/a.zip", task);
    d.show();
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("ダウンロード"));
    EXPECT_EQ(Shown(d, "url"), "http://example.com/a.zip");
    EXPECT_TRUE(task.started);
    EXPECT_EQ(Shown(d, "status"), QString::fromUtf8("接続中"));
    task.status = Utf8ToCp932("1,024 bytes受信");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Shown(d, "status") == QString::fromUtf8("1,024 bytes受信"); }, 10000));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(task.closes, 0);
    d.reject();
}

// The share of the status panel's inside painted in the highlight colour, measured on a row
// above the text.
double FilledShare(QLabel& status) {
    QImage shot = status.grab().toImage();
    QRect inside = status.contentsRect();
    QRgb fill = status.palette().color(QPalette::Highlight).rgb();
    int filled = 0;
    for (int x = inside.left(); x <= inside.right(); ++x)
        filled += shot.pixel(x, inside.top() + 1) == fill;
    return static_cast<double>(filled) / inside.width();
}

TEST_F(DownloadDialogTest, StatusFillsLikeABarWhenTheLengthIsKnown) {
    const struct {
        const char* name;
        ProgressAmount amount;
        double share;
    } rows[] = {
        {"length unknown", {5000, 0}, 0.0},
        {"a quarter", {250, 1000}, 0.25},
        {"more than announced", {1500, 1000}, 1.0},
        {"a byte short", {999, 1000}, 0.99},
        {"nothing yet", {0, 1000}, 0.0},
        {"all", {1000, 1000}, 1.0},
    };
    task.status = Utf8ToCp932("1,024 bytes受信");
    DownloadDialog d(nullptr, "", "", task);
    d.show();
    QLabel& status = *d.findChild<QLabel*>("status");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        task.progress = row.amount;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return std::abs(FilledShare(status) - row.share) < 0.02; }, 10000))
            << FilledShare(status);
        EXPECT_EQ(status.text(), QString::fromUtf8("1,024 bytes受信"));
    }
    d.reject();
}

TEST_F(DownloadDialogTest, ClosesItselfShortlyAfterTheTaskEnds) {
    DownloadDialog d(nullptr, "", "", task);
    d.show();
    // A new status shown is the sign that the dialog looked at the running task.
    task.status = "running";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(d, "status") == "running"; }, 10000));
    EXPECT_TRUE(d.isVisible()) << "the dialog stays while the task runs";
    task.status = Utf8ToCp932("12 bytes受信完了");
    task.done = true;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 10000));
    EXPECT_GE(clock.elapsed(), 90) << "the final status is shown for a moment";
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(Shown(d, "status"), QString::fromUtf8("12 bytes受信完了"));
    EXPECT_EQ(task.closes, 1);
    EXPECT_FALSE(task.closedUnfinished);
}

TEST_F(DownloadDialogTest, EveryWayOfCancellingRunsTheCloseSequenceOnce) {
    struct Way {
        const char* name;
        std::function<void(DownloadDialog&)> act;
    } ways[] = {
        {"Cancel button",
         [](DownloadDialog& d) {
             QTest::mouseClick(d.findChild<QPushButton*>("cancel"), Qt::LeftButton);
         }},
        {"Enter", [](DownloadDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }},
        {"keypad Enter", [](DownloadDialog& d) { QTest::keyClick(&d, Qt::Key_Enter); }},
        {"Escape", [](DownloadDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](DownloadDialog& d) { d.close(); }},
        {"Escape twice",
         [](DownloadDialog& d) {
             QTest::keyClick(&d, Qt::Key_Escape);
             QTest::keyClick(&d, Qt::Key_Escape);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ScriptedTask t;
        t.status = Utf8ToCp932("100 bytes受信");
        DownloadDialog d(nullptr, "", "", t);
        d.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
        way.act(d);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 10000));
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_EQ(t.closes, 1);
        EXPECT_TRUE(t.closedUnfinished);
        EXPECT_EQ(Shown(d, "status"), QString::fromUtf8("中断しています……"));
    }
}

TEST_F(DownloadDialogTest, RunReturnsWithTheTaskClosed) {
    task.done = true;  // already over when the dialog opens: it still closes by itself
    RunDownloadDialog(nullptr, "", "", task);
    EXPECT_GE(task.closes, 1);
    EXPECT_FALSE(task.closedUnfinished);
}

TEST_F(DownloadDialogTest, LayoutFollowsTheDialogTemplate) {
    DownloadDialog d(nullptr, "", "", task);
    QWidget* url = d.findChild<QLabel*>("url");
    QWidget* status = d.findChild<QLabel*>("status");
    QWidget* cancel = d.findChild<QPushButton*>("cancel");
    // URL above status above the button, all inside the dialog; the button centred.
    EXPECT_LE(url->geometry().bottom(), status->geometry().top());
    EXPECT_LT(status->geometry().bottom(), cancel->geometry().top());
    EXPECT_TRUE(d.rect().contains(url->geometry()));
    EXPECT_TRUE(d.rect().contains(cancel->geometry()));
    EXPECT_NEAR(cancel->geometry().center().x(), d.width() / 2, 3);
    EXPECT_GT(d.width(), d.height() * 2);
    EXPECT_TRUE(static_cast<QPushButton*>(cancel)->isDefault());
}

// ---- The real program on Xvfb -------------------------------------------------------------

// velmora in its window downloads through the test server (as its proxy) into the program
// folder, stores "var1 var2" in the variable `result` and exits.
class RealDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        ASSERT_TRUE(xserver.ok()) << "Xvfb did not start";
        x = std::make_unique<XClient>(xserver.display());
        ASSERT_TRUE(x->ok());
        QImage skin(200, 100, QImage::Format_RGB32);
        skin.fill(QColor(230, 230, 230));
        folder.writeBytes("skin.bmp", MakeBmp(skin, 24));
    }
    void start(const HttpTestServer& http) {
        folder.writeBytes("variable.txt",
                          "[default]\nbackground=skin.bmp\ntitle=dl\n"
                          "windows_pos=0,0,200,100\nproxy=127.0.0.1\nproxyport=" +
                              std::to_string(http.port()) + "\n");
        folder.writeBytes("code.txt", "[main]\ndownload,http://example.com/f.zip," +
                                          folder.file("got.bin") +
                                          "\nset,result,%var1% %var2%\nexit\n");
        program = std::make_unique<ProgramRun>(xserver.display(), folder.path());
    }
    // The dialog's part at the given dialog units, on the screen.
    ScreenRect part(XID dialog, int left, int top, int width, int height) {
        ScreenRect d = x->geometry(dialog);
        QRect r = DialogUnits(DialogFont()).rect(left, top, width, height);
        return {d.x + r.x(), d.y + r.y(), r.width(), r.height()};
    }
    int ink(const ScreenRect& r) { return x->darkPixels(r.x, r.y, r.x + r.width, r.y + r.height); }
    std::string result() {
        std::string vars = Cp932ToUtf8(folder.read("variable.txt"));
        size_t at = vars.find("result=");
        return at == std::string::npos
                   ? ""
                   : vars.substr(at + 7, vars.find_first_of("\r\n", at) - at - 7);
    }

    PrivateXServer xserver;
    std::unique_ptr<XClient> x;
    ScriptDir folder;
    std::unique_ptr<ProgramRun> program;
};

TEST_F(RealDownloadTest, FinishedDownloadClosesTheDialogByItself) {
    HttpTestServer http({Send("HTTP/1.0 200 OK\r\n\r\nthe body")});
    start(http);
    ASSERT_TRUE(program->waitExit(20000));
    EXPECT_EQ(result(), "OK ");
    EXPECT_EQ(folder.read("got.bin"), "the body");
}

TEST_F(RealDownloadTest, KeysAndClicksCancel) {
    const std::pair<const char*, std::function<void(XClient&, XID, const ScreenRect&)>> ways[] = {
        {"Escape", [](XClient& x, XID w, const ScreenRect&) { x.focus(w), x.key("Escape"); }},
        {"Enter", [](XClient& x, XID w, const ScreenRect&) { x.focus(w), x.key("Return"); }},
        {"click on Cancel",
         [](XClient& x, XID, const ScreenRect& b) {
             x.click(b.x + b.width / 2, b.y + b.height / 2);
         }},
    };
    for (const auto& [name, act] : ways) {
        SCOPED_TRACE(name);
        HttpTestServer http({Send("HTTP/1.0 200 OK\r\n\r\n"), Stream(40000), Silence()});
        start(http);
        XID dialog = x->findWindow("ダウンロード", 20000);
        ASSERT_NE(dialog, 0u) << "the download dialog did not appear";
        ScreenRect url = part(dialog, 5, 5, 155, 15), status = part(dialog, 5, 20, 155, 15);
        ASSERT_TRUE(WaitUntil([&] { return http.bytesSent() >= 40000 && ink(status) > 0; }, 10000))
            << "no status on the screen";
        EXPECT_GT(ink(url), 0) << "the URL line is drawn";
        act(*x, dialog, part(dialog, 55, 45, 50, 15));
        ASSERT_TRUE(program->waitExit(20000));
        EXPECT_EQ(result(), "NG 中断されました");
        EXPECT_FALSE(folder.exists("got.bin"));
    }
}

}  // namespace
}  // namespace velmora
