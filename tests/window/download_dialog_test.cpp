// DownloadDialog on Qt's offscreen platform: the status it shows while the task runs,
// its own close after the task ends, and every way of cancelling.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/text.h"
#include "window/qt_download_dialog.h"

namespace velmora {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app =
        qobject_cast<QApplication*>(QCoreApplication::instance()) ?: new QApplication(argc, argv);
    return *app;
}

// A task the test drives by hand; close() records how the dialog ended it.
class ScriptedTask : public ProgressTask {
public:
    std::string status;
    bool done = false;
    bool started = false;
    int closes = 0;  // every call, though only the first has an effect
    bool closedUnfinished = false;

    void start() override { started = true; }
    std::string statusText() const override { return status; }
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
    void SetUp() override { App(); }
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
        [&] { return Shown(d, "status") == QString::fromUtf8("1,024 bytes受信"); }, 1000));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(task.closes, 0);
    d.reject();
}

TEST_F(DownloadDialogTest, ClosesItselfShortlyAfterTheTaskEnds) {
    DownloadDialog d(nullptr, "", "", task);
    d.show();
    QTest::qWait(150);
    EXPECT_TRUE(d.isVisible()) << "the dialog stays while the task runs";
    task.status = Utf8ToCp932("12 bytes受信完了");
    task.done = true;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
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
        EXPECT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 1000));
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

// ---- On a real X server ---------------------------------------------------------------

// The probe program with a real download in the dialog, on the X display of the tests.
class DialogProbe {
public:
    DialogProbe()
        : out_(std::filesystem::temp_directory_path() /
               ("velmora-probe-" + std::to_string(getpid()) + ".out")) {
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen(out_.c_str(), "w", stdout)) _exit(127);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            execl(VELMORA_BIN_DIR "/download_dialog_probe", "download_dialog_probe",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~DialogProbe() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::filesystem::remove(out_);
    }
    // The words of the first output line that starts with `key`, waiting for it.
    std::vector<std::string> line(const std::string& key) {
        for (int i = 0; i < 1000; ++i) {
            std::ifstream in(out_);
            for (std::string text; std::getline(in, text);) {
                if (text.rfind(key + " ", 0) != 0) continue;
                std::istringstream words(text);
                std::vector<std::string> out;
                for (std::string w; words >> w;) out.push_back(w);
                return out;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

bool HaveXdotool() {
    return std::system("xdotool version >/dev/null 2>&1") == 0;
}

TEST(DownloadDialogOnX, KeysAndClicksCancelARealDownload) {
    if (!std::getenv("DISPLAY") || !HaveXdotool()) GTEST_SKIP() << "needs Xvfb and xdotool";
    using Words = std::vector<std::string>;  // "ready", window, Cancel x and y, ink, ink
    const std::pair<const char*, std::function<std::string(const Words&)>> ways[] = {
        {"Escape",
         [](const Words& r) { return "xdotool windowfocus --sync " + r[1] + " key Escape"; }},
        {"Enter",
         [](const Words& r) { return "xdotool windowfocus --sync " + r[1] + " key Return"; }},
        {"click on Cancel",
         [](const Words& r) {
             return "xdotool mousemove --sync --window " + r[1] + " " + r[2] + " " + r[3] +
                    " click 1";
         }},
    };
    for (const auto& [name, command] : ways) {
        SCOPED_TRACE(name);
        DialogProbe probe;
        Words ready = probe.line("ready");
        ASSERT_EQ(ready.size(), 6u) << "the dialog never showed received bytes";
        EXPECT_GT(std::stoi(ready[4]), 0) << "the URL line is drawn";
        EXPECT_GT(std::stoi(ready[5]), 0) << "the status line is drawn";
        std::string act = command(ready);
        ASSERT_EQ(std::system(act.c_str()), 0) << act;
        EXPECT_EQ(probe.line("result"),
                  (std::vector<std::string>{"result", "NG", "中断されました", "0"}));
    }
}

}  // namespace
}  // namespace velmora
