// Run-length scan of a skin picture into banded rectangles.
#include "window/shape.h"

#include <cstring>

namespace velmora {

namespace {

// Appends the runs of non-transparent pixels of one row as [left, right) pairs.
void RowRuns(const std::uint8_t* row, int width, const std::uint8_t* key, std::vector<int>& runs) {
    runs.clear();
    int x = 0;
    while (x < width) {
        if (std::memcmp(row + 3 * x, key, 3) == 0) {
            ++x;
            continue;
        }
        const int start = x;
        while (x < width && std::memcmp(row + 3 * x, key, 3) != 0) ++x;
        runs.push_back(start);
        runs.push_back(x);
    }
}

}  // namespace

std::vector<Rect> BuildShape(const std::uint8_t* pixels, int width, int height, int stride) {
    std::vector<Rect> out;
    if (!pixels || width <= 0 || height <= 0) return out;
    std::uint8_t key[3];
    std::memcpy(key, pixels, 3);
    std::vector<int> band, runs;  // runs of the open band, and of the current row
    int bandTop = 0;
    auto closeBand = [&](int bottom) {
        for (size_t i = 0; i < band.size(); i += 2)
            out.push_back(Rect{band[i], bandTop, band[i + 1], bottom});
    };
    for (int y = 0; y < height; ++y) {
        RowRuns(pixels + static_cast<size_t>(y) * stride, width, key, runs);
        if (y > 0 && runs == band) continue;  // the same runs: the band grows downwards
        closeBand(y);
        band.swap(runs);
        bandTop = y;
    }
    closeBand(height);
    return out;
}

}  // namespace velmora
