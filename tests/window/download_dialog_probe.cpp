// A program for the window tests: runs one real download in DownloadDialog on a real X
// server, against a test server that stalls midway, so that a test can press keys and
// click with xdotool. An optional argument names a PNG file for a screenshot of the dialog.
// It prints, one per line:
//   ready <window id> <Cancel centre x> <Cancel centre y> <ink in the URL line> <ink in the status>
//   result <var1> <var2, UTF-8> <1 if the file exists, else 0>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "engine/text.h"
#include "http_test_server.h"
#include "net/download_task.h"
#include "net/download_texts.h"
#include "window/qt_download_dialog.h"

using namespace velmora;

namespace {

// Dark pixels of a part of the dialog as the X server shows it.
int Ink(QWidget* dialog, QWidget* part) {
    QRect r = part->geometry();
    QImage shot = dialog->screen()
                      ->grabWindow(dialog->winId(), r.x(), r.y(), r.width(), r.height())
                      .toImage();
    int dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) dark += qGray(shot.pixel(x, y)) < 96;
    return dark;
}

// The same once the part has reached the screen: the X server draws a moment later.
int InkOnScreen(QWidget* dialog, QWidget* part) {
    int ink = 0;
    for (int i = 0; i < 50 && ink == 0; ++i) {
        QApplication::processEvents();
        ink = Ink(dialog, part);
        if (ink == 0) QThread::msleep(20);
    }
    return ink;
}

// Prints "ready" once the dialog is up and shows received bytes; saves a screenshot of
// it when a file name is given.
void ReportWhenReady(QTimer& timer, const char* shotFile) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    auto* status = dialog->findChild<QLabel*>("status");
    if (!status->text().contains("bytes")) return;
    timer.stop();
    QPoint c = dialog->findChild<QPushButton*>("cancel")->geometry().center();
    int urlInk = InkOnScreen(dialog, dialog->findChild<QLabel*>("url"));
    int statusInk = InkOnScreen(dialog, status);
    std::printf("ready %llu %d %d %d %d\n", static_cast<unsigned long long>(dialog->winId()), c.x(),
                c.y(), urlInk, statusInk);
    std::fflush(stdout);
    if (shotFile) dialog->screen()->grabWindow(dialog->winId()).save(shotFile);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    test::HttpTestServer server(
        {test::Send("HTTP/1.0 200 OK\r\n\r\n"), test::Stream(40000), test::Silence()});
    std::string file = (std::filesystem::temp_directory_path() /
                        ("velmora-probe-" + std::to_string(getpid()) + ".bin"))
                           .string();
    DownloadParams params{"http://example.com/file.zip", file, "127.0.0.1",
                          std::to_string(server.port())};
    DownloadTask task(params, [] { QCoreApplication::processEvents(); });
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout,
                     [&] { ReportWhenReady(ready, argc > 1 ? argv[1] : nullptr); });
    ready.start(20);
    RunDownloadDialog(nullptr, DownloadCaption(), params.url, task);
    const DownloadResult& r = task.result();
    std::printf("result %s %s %d\n", r.ok ? "OK" : "NG", Cp932ToUtf8(r.reason).c_str(),
                std::filesystem::exists(file) ? 1 : 0);
    std::filesystem::remove(file);
    return 0;
}
