// How long a skin's window region takes to build: the run scan alone, the region made
// from its bands, and the whole load of a BMP file, for a plain shaped skin and for
// fine checkerboards (the worst case: one run per opaque pixel).
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "window/qt_skin.h"
#include "window/shape.h"

using namespace velmora;

namespace {

double MedianMs(const std::function<void()>& work, int rounds) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
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

void Measure(const char* name, const QImage& img, const QString& folder) {
    const QString path = folder + "/skin.bmp";
    img.save(path, "BMP");
    const size_t runs = [&] {
        size_t n = 0;
        for (const Rect& r :
             BuildShape(img.constBits(), img.width(), img.height(), img.bytesPerLine()))
            n += r.height();  // a band of h rows holds h runs
        return n;
    }();
    const size_t rects =
        BuildShape(img.constBits(), img.width(), img.height(), img.bytesPerLine()).size();
    const double scan = MedianMs(
        [&] { BuildShape(img.constBits(), img.width(), img.height(), img.bytesPerLine()); }, 21);
    const double region = MedianMs([&] { SkinRegion(img); }, 21);
    const double load = MedianMs([&] { SkinRegion(ReadSkinFile(path).image); }, 21);
    std::printf(
        "%-26s %8zu runs %8zu rects   scan %7.2f ms   region %7.2f ms   load+region %7.2f ms\n",
        name, runs, rects, scan, region, load);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    std::printf("skin region build, 640 x 480, median of 21\n");
    Measure("rounded panel", Rounded(), dir.path());
    Measure("checkerboard 2x1 cells", Checkerboard(2), dir.path());
    Measure("checkerboard 1x1 cells", Checkerboard(1), dir.path());
    return 0;
}
