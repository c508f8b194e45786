// Placing a 6000 x 4000 JPEG on the 640 x 480 layer against decoding it in full first,
// on layers of scale 1 and 2; then one composition of the frame at each layer scale.
// Each placing case runs in a child process so that its peak memory can be told apart.
// Prints: median time per placing or composition, and the growth of the peak resident set.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fake_frontend.h"
#include "jpeg_writer.h"
#include "script_dir.h"
#include "window/display.h"
#include "window/jpeg_image.h"

namespace {

using velmora::JpegStatus;
using velmora::Layer;

constexpr int kWidth = 6000, kHeight = 4000, kRuns = 11;

long PeakKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// The whole picture into a buffer of its own size, then its visible corner onto the layer.
bool DecodeInFull(std::FILE* f, Layer& layer) {
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, f);
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&c);
    const size_t stride = static_cast<size_t>(c.output_width) * 3;
    std::vector<std::uint8_t> picture(stride * c.output_height);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = picture.data() + stride * c.output_scanline;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    const int rows = std::min<int>(c.output_height, layer.height());
    const size_t bytes = std::min<size_t>(stride, layer.stride());
    for (int y = 0; y < rows; ++y) std::memcpy(layer.row(y), picture.data() + stride * y, bytes);
    jpeg_destroy_decompress(&c);
    return true;
}

struct Result {
    double medianMs;
    long peakGrowthKb;
};

double MedianMs(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// Runs `place` kRuns times in a child on a layer of `scale`; the child reports through a
// pipe.
Result Measure(const std::string& file, int scale,
               const std::function<bool(std::FILE*, Layer&)>& place) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Layer layer;
        layer.allocate(scale, 255);
        const long before = PeakKb();
        std::vector<double> ms;
        for (int i = 0; i < kRuns; ++i) {
            std::FILE* f = std::fopen(file.c_str(), "rb");
            const auto t0 = std::chrono::steady_clock::now();
            const bool ok = f && place(f, layer);
            const auto t1 = std::chrono::steady_clock::now();
            if (f) std::fclose(f);
            if (!ok) _exit(1);
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        Result r{MedianMs(ms), PeakKb() - before};
        ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == sizeof r ? 0 : 1);
    }
    close(fds[1]);
    Result r{-1, -1};
    if (read(fds[0], &r, sizeof r) != sizeof r) r = {-1, -1};
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return r;
}

// A photograph-like picture: smooth gradients with fine detail, so that the entropy
// decoder has real work.
void Photo(int x, int y, std::uint8_t* p) {
    const unsigned h = static_cast<unsigned>(x * 2654435761u ^ y * 40503u) >> 27;
    p[0] = static_cast<std::uint8_t>(x / 24 + h);
    p[1] = static_cast<std::uint8_t>(y / 16 + h);
    p[2] = static_cast<std::uint8_t>((x + y) / 40 + h);
}

// One presenting composition of a framed choice over skin and text, as after every
// `text` or highlight move, at each layer scale.
void MeasureComposition() {
    std::printf("\n%-36s %12s\n", "composition at layer scale", "median ms");
    velmora::test::FakeFrontend fe;
    velmora::Engine engine(fe);
    for (int scale = 1; scale <= velmora::kMaxLayerScale; ++scale) {
        velmora::Display display(engine);
        if (!display.layers.create(scale)) return;
        display.choiceRect[0] = {20, 50, 320, 70};
        display.choiceDrawn[0] = true;
        engine.choice = {};
        engine.choice.active = true;
        engine.choice.highlighted = 1;
        std::vector<double> ms;
        for (int i = 0; i < 101; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            display.Compose({.present = true});
            const auto t1 = std::chrono::steady_clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        std::printf("%-36d %12.2f\n", scale, MedianMs(ms));
    }
}

}  // namespace

int main() {
    velmora::test::ScriptDir dir;
    const std::string file = dir.file("big.jpg");
    std::printf("writing a %d x %d JPEG (quality 90, 4:2:0)...\n", kWidth, kHeight);
    if (!velmora::test::WriteJpeg(file, {.width = kWidth, .height = kHeight, .quality = 90},
                                  Photo)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
    }
    std::printf("file size: %.1f MiB\n", dir.read("big.jpg").size() / 1048576.0);
    auto at = [](int x, int y) {
        return [x, y](std::FILE* f, Layer& l) {
            return velmora::DrawJpeg(f, l, x, y) == JpegStatus::Ok;
        };
    };
    struct Case {
        const char* name;
        int scale;
        std::function<bool(std::FILE*, Layer&)> run;
    } cases[] = {
        {"decode in full, then copy (0,0)", 1, DecodeInFull},
        {"image at (0,0)", 1, at(0, 0)},
        {"image at the centre (-2680,-1760)", 1, at(-2680, -1760)},
        {"image at the bottom-right corner", 1, at(640 - kWidth, 480 - kHeight)},
        {"image at (0,0), scale 2", 2, at(0, 0)},
        {"image at the centre, scale 2", 2, at(-2680, -1760)},
        {"image at (0,0), scale 3", 3, at(0, 0)},
    };
    std::printf("%-36s %12s %18s\n", "case", "median ms", "peak growth MiB");
    double fullMs = 0;
    for (const Case& c : cases) {
        const Result r = Measure(file, c.scale, c.run);
        if (r.medianMs < 0) {
            std::printf("%-36s failed\n", c.name);
            return 1;
        }
        if (fullMs == 0) fullMs = r.medianMs;
        std::printf("%-36s %12.1f %18.1f   (%.1fx)\n", c.name, r.medianMs, r.peakGrowthKb / 1024.0,
                    fullMs / r.medianMs);
    }
    MeasureComposition();
    return 0;
}
