// Raster operations on the layers, in window pixels scaled to the layers' device pixels.
#include "window/layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace velmora {

void Layer::allocate(int scale, std::uint8_t fill) {
    scale_ = std::clamp(scale, 1, kMaxLayerScale);
    pixels.assign(static_cast<size_t>(stride()) * height(), fill);
}

void Layer::free() {
    pixels.clear();
    pixels.shrink_to_fit();
}

namespace {

// The byte operations a word at a time: the compiler cannot vectorise a loop whose source
// may overlap its destination, and composition runs these over every pixel of a frame.
template <typename Op>
void CombineBytes(std::uint8_t* d, const std::uint8_t* s, size_t len, Op op) {
    size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, d + i, 8);
        std::memcpy(&b, s + i, 8);
        a = op(a, b);
        std::memcpy(d + i, &a, 8);
    }
    for (; i < len; ++i) d[i] = static_cast<std::uint8_t>(op(d[i], s[i]));
}

}  // namespace

void Blit(Layer& dst, const Layer& src, int x, int y, int w, int h, Rop rop) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + w, kLayerWidth), y1 = std::min(y + h, kLayerHeight);
    const bool needsSrc = rop != Rop::White;
    if (x0 >= x1 || y0 >= y1 || dst.empty() || (needsSrc && src.empty())) return;
    const int k = dst.scale();
    if (needsSrc && src.scale() != k) return;  // its rows would be read past their end
    const size_t off = static_cast<size_t>(x0) * k * 3, len = static_cast<size_t>(x1 - x0) * k * 3;
    for (int row = y0 * k; row < y1 * k; ++row) {
        std::uint8_t* d = dst.row(row) + off;
        switch (rop) {
            case Rop::Copy:
                std::memmove(d, src.row(row) + off, len);
                break;
            case Rop::White:
                std::memset(d, 0xFF, len);
                break;
            case Rop::And:
                CombineBytes(d, src.row(row) + off, len, [](auto a, auto b) { return a & b; });
                break;
            case Rop::NotCopy:
                CombineBytes(d, src.row(row) + off, len, [](auto, auto b) { return ~b; });
                break;
        }
    }
}

void FillWhite(Layer& dst) {
    std::fill(dst.pixels.begin(), dst.pixels.end(), 0xFF);
}

void PutRowEnlarged(Layer& dst, int x, int y, const std::uint8_t* src, int count, int repeat) {
    const size_t bytes = static_cast<size_t>(count) * repeat * 3;
    std::uint8_t* first = dst.row(y) + static_cast<size_t>(x) * 3;
    if (repeat == 1) {
        std::memcpy(first, src, bytes);
        return;
    }
    for (int c = 0; c < count; ++c)
        for (int i = 0; i < repeat; ++i) std::memcpy(first + (c * repeat + i) * 3, src + c * 3, 3);
    for (int i = 1; i < repeat; ++i)
        std::memcpy(dst.row(y + i) + static_cast<size_t>(x) * 3, first, bytes);
}

bool LayerSet::create(int wanted) {
    scale = std::clamp(wanted, 1, kMaxLayerScale);
    try {
        for (Layer* l : {&screen, &background, &base, &text, &work}) l->allocate(scale, 0xFF);
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    ready = true;
    return true;
}

void LayerSet::release() {
    ready = false;
    for (Layer* l : {&text, &base, &work, &background, &screen}) l->free();
}

int LayerScaleFor(double devicePixelRatio) {
    // A ratio a hair above a whole number (1.0000001 from a computed DPI) is that number.
    const double up = std::ceil(devicePixelRatio - 1e-3);
    return std::isfinite(up) ? static_cast<int>(std::clamp(up, 1.0, double(kMaxLayerScale))) : 1;
}

}  // namespace velmora
