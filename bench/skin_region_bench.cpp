// How long a skin's window shape takes: the run scan alone, the region made from its
// bands, the whole load of a BMP file with its region, and applying the shape to a real
// window on a private Xvfb until the server has taken it. For a plain shaped skin and
// for fine checkerboards (the worst case: one run per opaque pixel). Each figure is the
// fastest of 21 rounds in wall time, and the mean processor time of a round, the X
// server's included: on a shared machine the processor time is what an idle one would
// take. Without Xvfb it runs offscreen and leaves out the applying.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "private_xvfb.h"
#include "window/qt_skin.h"
#include "window/shape.h"
// Xlib last: its macros would clash with the headers above.
#include <X11/Xlib.h>

using namespace velmora;

namespace {

constexpr int kRounds = 21;
// Re-shaping a shown window makes the server repaint what lies beneath through every
// hole: seconds for the finest skins, so few rounds.
constexpr int kShownRounds = 3;

pid_t xvfb = -1;

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// User and system time of the private X server so far.
double ServerCpuMs() {
    if (xvfb <= 0) return 0;
    std::ifstream stat("/proc/" + std::to_string(xvfb) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::string f;
    for (char ch : line.substr(close + 2)) {
        if (ch == ' ') {
            fields.push_back(f);
            f.clear();
        } else {
            f += ch;
        }
    }
    if (fields.size() < 13) return 0;  // utime and stime are fields 14 and 15
    return (std::stod(fields[11]) + std::stod(fields[12])) * 1e3 / sysconf(_SC_CLK_TCK);
}

struct Timing {
    double bestMs = -1, cpuMs = -1;
};

Timing Time(const std::function<void()>& work, int rounds = kRounds) {
    std::vector<double> ms;
    const double cpu0 = ProcessCpuMs(), server0 = ServerCpuMs();
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    return {*std::min_element(ms.begin(), ms.end()),
            (ProcessCpuMs() + ServerCpuMs() - cpu0 - server0) / rounds};
}

QImage Checkerboard(int cellWidth) {
    QImage img(640, 480, QImage::Format_BGR888);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            img.setPixelColor(x, y,
                              (x / cellWidth + y) % 2 ? QColor(40, 80, 120) : QColor(255, 0, 255));
    return img;
}

QImage Rounded() {
    QImage img(640, 480, QImage::Format_BGR888);
    img.fill(QColor(255, 0, 255));
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int dx = std::max({0, 40 - x, x - 599}), dy = std::max({0, 40 - y, y - 439});
            if (dx * dx + dy * dy <= 1600) img.setPixelColor(x, y, QColor(240, 230, 200));
        }
    return img;
}

// Applies the shape and waits for the server to have handled it: to a window not yet
// shown, as at start-up, or to one on the screen, as the `background` command does.
Timing Apply(const QRegion& shape, bool shown) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->display()) return {};
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.resize(640, 480);
    if (shown) window.show();
    XSync(x11->display(), False);
    return Time(
        [&] {
            ApplyWindowShape(window, shape);
            XSync(x11->display(), False);
        },
        shown ? kShownRounds : kRounds);
}

void Measure(const char* name, const QImage& img, const QString& folder) {
    const QString path = folder + "/skin.bmp";
    img.save(path, "BMP");
    const std::vector<Rect> rects =
        BuildShape(img.constBits(), img.width(), img.height(), img.bytesPerLine());
    size_t runs = 0;
    for (const Rect& r : rects) runs += r.height();  // a band of h rows holds h runs
    const Timing scan =
        Time([&] { BuildShape(img.constBits(), img.width(), img.height(), img.bytesPerLine()); });
    const Timing region = Time([&] { SkinRegion(img); });
    const Timing load = Time([&] { SkinRegion(ReadSkinFile(path).image); });
    const Timing apply = Apply(SkinRegion(img), false);
    const Timing shown = Apply(SkinRegion(img), true);
    std::printf(
        "%-23s %6zu runs %6zu rects | scan %6.2f (%6.2f) | region %6.2f (%6.2f) | "
        "load+region %6.2f (%6.2f) | apply %6.2f (%6.2f) | apply shown %7.2f (%7.2f)\n",
        name, runs, rects.size(), scan.bestMs, scan.cpuMs, region.bestMs, region.cpuMs, load.bestMs,
        load.cpuMs, apply.bestMs, apply.cpuMs, shown.bestMs, shown.cpuMs);
}

}  // namespace

int main(int argc, char** argv) {
    std::string display;
    xvfb = StartXvfb(display);
    if (xvfb > 0)
        qputenv("DISPLAY", display.c_str());
    else
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int status = 0;
    {
        QApplication app(argc, argv);
        QTemporaryDir dir;
        std::printf(
            "skin shape, 640 x 480, ms: fastest of %d (mean processor time, X server included);"
            " platform %s\n",
            kRounds, qPrintable(QGuiApplication::platformName()));
        Measure("rounded panel", Rounded(), dir.path());
        Measure("checkerboard 2x1 cells", Checkerboard(2), dir.path());
        Measure("checkerboard 1x1 cells", Checkerboard(1), dir.path());
    }
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, &status, 0);
    }
    return 0;
}
