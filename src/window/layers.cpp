// Raster operations on the 640 x 480 layers.
#include "window/layers.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmora {

void Blit(Layer& dst, const Layer& src, int x, int y, int w, int h, Rop rop) {
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + w, kLayerWidth), y1 = std::min(y + h, kLayerHeight);
    if (x0 >= x1 || y0 >= y1 || dst.empty() || (rop != Rop::White && src.empty())) return;
    const size_t off = x0 * 3, len = (x1 - x0) * 3;
    for (int row = y0; row < y1; ++row) {
        std::uint8_t* d = dst.row(row) + off;
        switch (rop) {
            case Rop::Copy:
                std::memmove(d, src.row(row) + off, len);
                break;
            case Rop::White:
                std::memset(d, 0xFF, len);
                break;
            case Rop::And: {
                const std::uint8_t* s = src.row(row) + off;
                for (size_t i = 0; i < len; ++i) d[i] &= s[i];
                break;
            }
            case Rop::NotCopy: {
                const std::uint8_t* s = src.row(row) + off;
                for (size_t i = 0; i < len; ++i) d[i] = static_cast<std::uint8_t>(~s[i]);
                break;
            }
        }
    }
}

void FillWhite(Layer& dst) {
    std::fill(dst.pixels.begin(), dst.pixels.end(), 0xFF);
}

bool LayerSet::create() {
    try {
        for (Layer* l : {&screen, &background, &base, &text, &work})
            l->pixels.assign(static_cast<size_t>(kLayerStride) * kLayerHeight, 0xFF);
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    ready = true;
    return true;
}

void LayerSet::release() {
    ready = false;
    for (Layer* l : {&text, &base, &work, &background, &screen}) {
        l->pixels.clear();
        l->pixels.shrink_to_fit();
    }
}

}  // namespace velmora
