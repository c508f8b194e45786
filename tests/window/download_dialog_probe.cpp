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

// Dark pixels of a widget as the X server shows it.
int Ink(QWidget* w) {
    QImage shot = w->screen()->grabWindow(w->winId()).toImage();
    int dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) dark += qGray(shot.pixel(x, y)) < 96;
    return dark;
}

// Prints "ready" once the dialog is up and showing received bytes; saves a screenshot of
// it when a file name is given.
void ReportWhenReady(QTimer& timer, ProgressTask& task, const char* shotFile) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible() || task.statusText().find("bytes") == std::string::npos)
        return;
    timer.stop();
    QApplication::processEvents();
    auto* cancel = dialog->findChild<QPushButton*>("cancel");
    QPoint c = cancel->geometry().center();
    std::printf("ready %llu %d %d %d %d\n", static_cast<unsigned long long>(dialog->winId()), c.x(),
                c.y(), Ink(dialog->findChild<QLabel*>("url")),
                Ink(dialog->findChild<QLabel*>("status")));
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
    task.start();
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout,
                     [&] { ReportWhenReady(ready, task, argc > 1 ? argv[1] : nullptr); });
    ready.start(20);
    RunDownloadDialog(nullptr, DownloadCaption(), params.url, task);
    const DownloadResult& r = task.result();
    std::printf("result %s %s %d\n", r.ok ? "OK" : "NG", Cp932ToUtf8(r.reason).c_str(),
                std::filesystem::exists(file) ? 1 : 0);
    std::filesystem::remove(file);
    return 0;
}
