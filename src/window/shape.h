// The window's shape from a skin picture: every pixel whose colour differs from the
// top-left pixel belongs to the window. Built as rows of runs and merged into bands,
// the order a region wants, so a fine-grained skin costs one pass over its pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/rect.h"

namespace velmora {

// Rectangles (right and bottom exclusive) covering exactly the pixels of a 3-byte-per-
// pixel picture that differ from its pixel (0, 0). They are sorted by top, then left,
// never overlap or touch sideways, and rectangles that share a top share a height:
// consecutive rows with the same runs are merged into one band.
std::vector<Rect> BuildShape(const std::uint8_t* pixels, int width, int height, int stride);

}  // namespace velmora
