// JPEG decoding with libjpeg onto a layer. The decoder is asked for blue-green-red
// output, cropped to the columns that land on the layer, skips the rows above it and
// stops after the last visible row. A fatal decoder error comes back here through
// longjmp instead of ending the process. On a layer of scale 2 or 4 the decoder itself
// enlarges the picture twice (its scaled inverse DCT interpolates within the blocks);
// what remains of the scale repeats pixels.
#include "window/jpeg_image.h"

#include <jpeglib.h>
// jerror.h needs jpeglib.h first.
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

// Cap on the decoder's own memory (progressive pictures keep all coefficients): a
// forged header announcing a gigantic picture answers "no memory" instead of
// exhausting the machine.
constexpr long kDecoderMemoryLimit = 1L << 30;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (corrupt data, premature end) are counted by the library but never printed.
void DiscardMessage(j_common_ptr) {}

// How the picture meets the layer's density: decoded `decode` times its size, then each
// decoded pixel repeated `repeat` times each way.
struct Enlargement {
    int decode, repeat;
};

Enlargement EnlargementFor(int layerScale) {
    // The decoder enlarges by 2 at most; 3 is left to repetition alone.
    const int decode = layerScale % 2 == 0 ? 2 : 1;
    return {decode, layerScale / decode};
}

// The part of the decoded picture that lands on the layer, in decoded pixels.
struct Visible {
    JDIMENSION srcX, srcY, width, height;  // in the decoded picture
    int dstX, dstY;                        // on the layer, in decoded pixels
};

// (x, y) is the picture's corner in decoded pixels; the layer is `layerW` x `layerH` of them.
bool ClipToLayer(long long x, long long y, JDIMENSION picW, JDIMENSION picH, long long layerW,
                 long long layerH, Visible& v) {
    const long long x0 = std::max(0LL, -x), y0 = std::max(0LL, -y);
    const long long x1 = std::min<long long>(picW, layerW - x);
    const long long y1 = std::min<long long>(picH, layerH - y);
    if (x0 >= x1 || y0 >= y1) return false;
    v.srcX = static_cast<JDIMENSION>(x0);
    v.srcY = static_cast<JDIMENSION>(y0);
    v.width = static_cast<JDIMENSION>(x1 - x0);
    v.height = static_cast<JDIMENSION>(y1 - y0);
    v.dstX = static_cast<int>(x + x0);
    v.dstY = static_cast<int>(y + y0);
    return true;
}

std::uint8_t Scale(unsigned a, unsigned b) {
    return static_cast<std::uint8_t>((a * b + 127) / 255);
}

// CMYK as Adobe software writes it stores every value inverted; other writers do not.
void CmykToBgr(const JSAMPLE* src, std::uint8_t* dst, JDIMENSION n, bool inverted) {
    for (JDIMENSION i = 0; i < n; ++i, src += 4, dst += 3) {
        unsigned c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        dst[0] = Scale(y, k);
        dst[1] = Scale(m, k);
        dst[2] = Scale(c, k);
    }
}

// Everything one decoding owns. The setjmp function below keeps no locals of its own
// that need destroying, so the jump back from the library skips no destructor.
struct Decoding {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    Enlargement enlarge{1, 1};
    Visible vis{};
    std::vector<std::uint8_t> pixels;  // the visible part, top-down rows, 3 bytes a pixel

    ~Decoding() { jpeg_destroy_decompress(&cinfo); }
};

bool IsCmyk(J_COLOR_SPACE space) {
    return space == JCS_CMYK || space == JCS_YCCK;
}

// Crops the decoder to the visible columns plus one block column on each side: chroma
// smoothing treats the edges of a cropped row as picture edges, so the margin keeps the
// visible pixels identical to a full decode. Returns the first decoded column.
JDIMENSION CropColumns(jpeg_decompress_struct& cinfo, const Visible& vis, int enlarged) {
    const JDIMENSION margin = cinfo.max_h_samp_factor * DCTSIZE * enlarged;
    JDIMENSION first = vis.srcX > margin ? vis.srcX - margin : 0;
    JDIMENSION end = std::min(vis.srcX + vis.width + margin, cinfo.output_width);
    if (first == 0 && end == cinfo.output_width) return 0;
    JDIMENSION width = end - first;
    jpeg_crop_scanline(&cinfo, &first, &width);
    return first;
}

void ReadVisibleRows(Decoding& d) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    const Visible& vis = d.vis;
    const JDIMENSION firstColumn = CropColumns(cinfo, vis, d.enlarge.decode);
    if (vis.srcY > 0) jpeg_skip_scanlines(&cinfo, vis.srcY);
    const int components = cinfo.output_components;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.output_width * components, 1);
    const bool cmyk = components == 4;
    const bool inverted = cinfo.saw_Adobe_marker;
    const size_t rowBytes = static_cast<size_t>(vis.width) * 3;
    const JSAMPLE* start = row[0] + (vis.srcX - firstColumn) * components;
    for (JDIMENSION r = 0; r < vis.height; ++r) {
        jpeg_read_scanlines(&cinfo, row, 1);
        std::uint8_t* dst = d.pixels.data() + r * rowBytes;
        if (cmyk)
            CmykToBgr(start, dst, vis.width, inverted);
        else
            std::memcpy(dst, start, rowBytes);
    }
}

// Returns Ok with d.pixels filled, Ok with d.pixels empty when nothing is visible, or
// a failure.
JpegStatus Decode(Decoding& d, std::FILE* file, long long x, long long y) {
    jpeg_decompress_struct& cinfo = d.cinfo;
    cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = OnFatalError;
    d.err.pub.output_message = DiscardMessage;
    if (setjmp(d.err.jump)) {
        const int code = d.err.pub.msg_code;
        return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE
                   ? JpegStatus::NoMemory
                   : JpegStatus::DecodeFailed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = kDecoderMemoryLimit;
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    // Greyscale and RGB convert to blue-green-red in the library; CMYK is converted here.
    cinfo.out_color_space = IsCmyk(cinfo.jpeg_color_space) ? JCS_CMYK : JCS_EXT_BGR;
    const int f = d.enlarge.decode;
    cinfo.scale_num = static_cast<unsigned>(f);
    cinfo.scale_denom = 1;
    jpeg_calc_output_dimensions(&cinfo);
    if (!ClipToLayer(x * f, y * f, cinfo.output_width, cinfo.output_height,
                     static_cast<long long>(kLayerWidth) * f,
                     static_cast<long long>(kLayerHeight) * f, d.vis))
        return JpegStatus::Ok;
    d.pixels.resize(static_cast<size_t>(d.vis.width) * d.vis.height * 3);
    jpeg_start_decompress(&cinfo);
    ReadVisibleRows(d);
    // The rows below the layer are never decoded; destroying the decoder abandons them.
    return JpegStatus::Ok;
}

}  // namespace

JpegStatus DrawJpeg(std::FILE* file, Layer& layer, int x, int y) {
    if (layer.empty()) return JpegStatus::Ok;  // released at shutdown: nothing to draw on
    Decoding d;
    d.enlarge = EnlargementFor(layer.scale());
    const JpegStatus status = Decode(d, file, x, y);
    if (status != JpegStatus::Ok || d.pixels.empty()) return status;
    const int k = d.enlarge.repeat;
    const size_t rowBytes = static_cast<size_t>(d.vis.width) * 3;
    for (JDIMENSION r = 0; r < d.vis.height; ++r)
        PutRowEnlarged(layer, d.vis.dstX * k, (d.vis.dstY + static_cast<int>(r)) * k,
                       d.pixels.data() + r * rowBytes, static_cast<int>(d.vis.width), k);
    return status;
}

}  // namespace velmora
