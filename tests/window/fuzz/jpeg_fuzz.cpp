// libFuzzer target for placing a JPEG on a layer: four bytes of position (x, y as signed
// 16-bit little-endian numbers), then the JPEG stream. Whatever the stream, a failure
// leaves the layer as it was and a success changes nothing outside the picture's
// rectangle; for a stream the plain decoder reads without a single warning, the cropped
// decoding shows exactly the pixels of the full one.
#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include "window/jpeg_image.h"

using namespace velmora;

namespace {

// Pictures larger than this are not decoded whole for comparison (time, not safety).
constexpr long kReferencePixels = 1L << 18;

void Require(bool ok) {
    if (!ok) std::abort();
}

struct Reference {
    bool header = false;  // the size is known
    bool clean = false;   // decoded whole without error or warning, three components
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr;
};

struct Jump {
    jpeg_error_mgr pub;
    std::jmp_buf buf;
};

[[noreturn]] void Fail(j_common_ptr c) {
    std::longjmp(reinterpret_cast<Jump*>(c->err)->buf, 1);
}
void Quiet(j_common_ptr) {}

// No locals with destructors live across the setjmp below.
void DecodeWhole(const std::uint8_t* data, std::size_t size, jpeg_decompress_struct& c, Jump& err,
                 Reference& ref) {
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = Fail;
    err.pub.output_message = Quiet;
    if (setjmp(err.buf)) return;
    jpeg_create_decompress(&c);
    c.mem->max_memory_to_use = 1L << 28;
    jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
    jpeg_read_header(&c, TRUE);
    const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&c);
    ref.header = true;
    ref.width = int(c.output_width);
    ref.height = int(c.output_height);
    if (cmyk || long(ref.width) * ref.height > kReferencePixels) return;
    ref.bgr.resize(size_t(ref.width) * ref.height * 3);
    jpeg_start_decompress(&c);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = &ref.bgr[size_t(c.output_scanline) * ref.width * 3];
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    ref.clean = err.pub.num_warnings == 0;
}

const Reference& Whole(const std::uint8_t* data, std::size_t size) {
    static Reference ref;
    ref.header = ref.clean = false;
    ref.width = ref.height = 0;
    jpeg_decompress_struct c{};
    Jump err{};
    DecodeWhole(data, size, c, err, ref);
    jpeg_destroy_decompress(&c);
    return ref;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int x = std::int16_t(data[0] | data[1] << 8), y = std::int16_t(data[2] | data[3] << 8);
    const std::uint8_t* stream = data + 4;
    const std::size_t length = size - 4;
    // Kept from one input to the next: fresh megabytes for every input would cost more
    // than the decoding.
    static Layer layer, before;
    layer.allocate(1, 0x5A);
    before.pixels = layer.pixels;
    std::FILE* f =
        fmemopen(const_cast<std::uint8_t*>(stream), std::max<std::size_t>(length, 1), "rb");
    if (!f) return 0;
    const JpegStatus status = length ? DrawJpeg(f, layer, x, y) : JpegStatus::DecodeFailed;
    std::fclose(f);
    if (status != JpegStatus::Ok) {
        Require(layer.pixels == before.pixels);
        return 0;
    }
    const Reference& ref = Whole(stream, length);
    if (!ref.header) return 0;
    // The picture's rectangle on the layer, [left, right) x [top, bottom).
    const long left = std::clamp<long>(x, 0, layer.width()),
               top = std::clamp<long>(y, 0, layer.height());
    const long right = std::clamp<long>(long(x) + ref.width, 0, layer.width());
    const long bottom = std::clamp<long>(long(y) + ref.height, 0, layer.height());
    for (int ly = 0; ly < layer.height(); ++ly) {
        const std::uint8_t *got = layer.row(ly), *was = before.row(ly);
        if (ly < top || ly >= bottom || left >= right) {
            Require(std::memcmp(got, was, 3 * layer.width()) == 0);
            continue;
        }
        Require(std::memcmp(got, was, 3 * left) == 0);
        Require(std::memcmp(got + 3 * right, was + 3 * right, 3 * (layer.width() - right)) == 0);
        if (ref.clean)
            Require(std::memcmp(got + 3 * left,
                                &ref.bgr[(size_t(ly - y) * ref.width + (left - x)) * 3],
                                3 * (right - left)) == 0);
    }
    return 0;
}
