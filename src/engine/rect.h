// Rectangle texts ("left,top,right,bottom") as the settings and commands write them.
#pragma once

#include <string>

namespace velmora {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // Edges are outside: an all-zero rectangle is never hit.
    bool contains(int x, int y) const { return left < x && x < right && top < y && y < bottom; }
};

// How far from 0 a coordinate read from text may lie; farther ones are moved to it. Far
// beyond any screen, and small enough that sizes and frames around a rectangle
// (width + 4, left - 2) never overflow.
constexpr int kMaxRectCoordinate = 1 << 24;

// Reads "%i,%i,%i,%i" (decimal, 0x hex, leading-0 octal) from at most the first 99 bytes,
// each number limited to kMaxRectCoordinate either side of 0.
// False unless all four numbers were read; `out` is then all zeros.
bool ParseRect(const std::string& text, Rect& out);

}  // namespace velmora
