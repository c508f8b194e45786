// The five 640 x 480 drawing layers and the raster operations that combine them.
// Plain buffers, so the console front end and the tests have them too. Rows run top
// to bottom, 3 bytes a pixel in blue, green, red order (QImage::Format_BGR888).
#pragma once

#include <cstdint>
#include <vector>

namespace velmora {

constexpr int kLayerWidth = 640;
constexpr int kLayerHeight = 480;
constexpr int kLayerStride = kLayerWidth * 3;

struct Layer {
    std::vector<std::uint8_t> pixels;

    bool empty() const { return pixels.empty(); }
    std::uint8_t* row(int y) { return pixels.data() + y * kLayerStride; }
    const std::uint8_t* row(int y) const { return pixels.data() + y * kLayerStride; }
};

enum class Rop { Copy, White, And, NotCopy };

// Raster operation on the rectangle (x, y, w, h) of dst, with the same place of src
// as source; clipped to the layers. Rop::White ignores src.
void Blit(Layer& dst, const Layer& src, int x, int y, int w, int h, Rop rop);
void FillWhite(Layer& dst);

struct LayerSet {
    Layer screen, background, base, text, work;
    bool ready = false;

    bool create();   // all five, white; false when the memory cannot be had
    void release();  // frees them; ready becomes false
};

}  // namespace velmora
