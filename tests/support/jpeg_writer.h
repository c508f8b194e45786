// Writes JPEG files with libjpeg for tests and benchmarks, one row at a time, so that
// even very large pictures need no buffer of their own size.
#pragma once

#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

struct JpegSpec {
    int width = 16, height = 16;
    J_COLOR_SPACE space = JCS_RGB;  // input: JCS_RGB, JCS_GRAYSCALE or JCS_CMYK
    int quality = 95;
    int hSamp = 2, vSamp = 2;  // luma sampling: 2x2 is 4:2:0, 2x1 is 4:2:2, 1x1 is 4:4:4
    bool progressive = false;
};

// fill(x, y, out) stores the components of pixel (x, y) (R, G, B; grey; or C, M, Y, K).
using PixelFill = std::function<void(int x, int y, std::uint8_t* out)>;

inline bool WriteJpeg(const std::string& path, const JpegSpec& spec, const PixelFill& fill) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = spec.width;
    c.image_height = spec.height;
    c.in_color_space = spec.space;
    c.input_components = spec.space == JCS_GRAYSCALE ? 1 : spec.space == JCS_CMYK ? 4 : 3;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, spec.quality, TRUE);
    if (spec.space == JCS_RGB) {
        c.comp_info[0].h_samp_factor = spec.hSamp;
        c.comp_info[0].v_samp_factor = spec.vSamp;
    }
    if (spec.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<std::uint8_t> row(static_cast<size_t>(spec.width) * c.input_components);
    JSAMPROW rows[1] = {row.data()};
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x)
            fill(x, y, &row[static_cast<size_t>(x) * c.input_components]);
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

}  // namespace velmora::test
