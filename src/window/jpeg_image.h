// JPEG pictures onto a layer. Only the rows and columns that land on the layer are
// decoded, so a photograph far larger than the window costs little time and memory.
#pragma once

#include <cstdio>

#include "window/layers.h"

namespace velmora {

enum class JpegStatus {
    Ok,            // placed, or lying wholly outside the layer
    NoMemory,      // the decoder could not get the working memory the picture needs
    DecodeFailed,  // not a JPEG stream the decoder can read; the layer is untouched
};

// Decodes the JPEG stream of `file` (opened "rb", left open) onto `layer` with the
// picture's top-left corner at window pixel (x, y), each picture pixel covering one
// window pixel. Parts outside the layer are cut off; greyscale and CMYK pictures come
// out as colour. The layer changes only on Ok.
JpegStatus DrawJpeg(std::FILE* file, Layer& layer, int x, int y);

}  // namespace velmora
