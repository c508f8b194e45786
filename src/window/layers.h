// The five drawing layers and the raster operations that combine them. Plain buffers,
// so the console front end and the tests have them too. A layer covers the 640 x 480
// window pixels of the script's coordinates at `scale` device pixels each way, so text
// and pictures can be drawn at the screen's density. Rows run top to bottom, 3 bytes a
// pixel in blue, green, red order (QImage::Format_BGR888).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

// The layers' size in window pixels: the coordinates scripts and hit tests use.
constexpr int kLayerWidth = 640;
constexpr int kLayerHeight = 480;
// Device pixels per window pixel, the most a layer takes (beyond it memory grows too fast).
constexpr int kMaxLayerScale = 4;

class Layer {
public:
    // The pixels, stride() bytes a row; read freely, sized only by allocate().
    std::vector<std::uint8_t> pixels;

    // Sizes the layer for `scale` (1 to kMaxLayerScale) and fills it with `fill`; throws
    // std::bad_alloc as the vector does.
    void allocate(int scale, std::uint8_t fill);
    void free();

    bool empty() const { return pixels.empty(); }
    int scale() const { return scale_; }
    // In device pixels and bytes.
    int width() const { return kLayerWidth * scale_; }
    int height() const { return kLayerHeight * scale_; }
    int stride() const { return width() * 3; }
    std::uint8_t* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * stride();
    }

private:
    int scale_ = 1;
};

enum class Rop { Copy, White, And, NotCopy };

// Raster operation on the rectangle (x, y, w, h) of dst, in window pixels, with the same
// place of src as source; clipped to the layers. Rop::White ignores src. Both layers
// have the same scale.
void Blit(Layer& dst, const Layer& src, int x, int y, int w, int h, Rop rop);
void FillWhite(Layer& dst);
// Writes `count` pixels of a source row with each a block of `repeat` x `repeat` device
// pixels, the first block's corner at device pixel (x, y); the caller keeps it on the layer.
void PutRowEnlarged(Layer& dst, int x, int y, const std::uint8_t* src, int count, int repeat);

struct LayerSet {
    Layer screen, background, base, text, work;
    int scale = 1;  // device pixels per window pixel, the same for all five
    bool ready = false;

    // All five, white, at `scale` (clamped to 1 to kMaxLayerScale); false when the
    // memory cannot be had.
    bool create(int scale = 1);
    void release();  // frees them; ready becomes false
};

// The layer scale for a device pixel ratio: rounded up, so that text is drawn with at
// least as many pixels as the screen shows (a fractional ratio is then scaled down).
int LayerScaleFor(double devicePixelRatio);

}  // namespace velmora
