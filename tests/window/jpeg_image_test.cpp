// The JPEG decoder: pictures made here with libjpeg are placed on a layer and the
// layer's pixels are compared with a plain full decode of the same file.
#include "window/jpeg_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "jpeg_writer.h"
#include "script_dir.h"

namespace velmora {
namespace {

using test::JpegSpec;
using test::WriteJpeg;

struct Bgr {
    int b, g, r;
};

Bgr PixelAt(const Layer& l, int x, int y) {
    const std::uint8_t* p = l.row(y) + x * 3;
    return {p[0], p[1], p[2]};
}

Layer WhiteLayer(int scale = 1) {
    Layer l;
    l.allocate(scale, 0xFF);
    return l;
}

// A layer of scale 2 or 4 takes the decoder's twofold enlargement; the rest of the scale
// repeats pixels.
int DecoderEnlargement(int layerScale) {
    return layerScale % 2 == 0 ? 2 : 1;
}

// The whole picture decoded the ordinary way, top-down, blue-green-red.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr;
    Bgr at(int x, int y) const {
        const std::uint8_t* p = &bgr[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

Picture FullDecode(const std::string& path, int enlargement = 1) {
    Picture pic;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return pic;
    jpeg_decompress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, f);
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGR;
    c.scale_num = static_cast<unsigned>(enlargement);
    c.scale_denom = 1;
    jpeg_start_decompress(&c);
    pic.width = c.output_width;
    pic.height = c.output_height;
    pic.bgr.resize(static_cast<size_t>(pic.width) * pic.height * 3);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = &pic.bgr[static_cast<size_t>(c.output_scanline) * pic.width * 3];
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    std::fclose(f);
    return pic;
}

JpegStatus Place(const std::string& path, Layer& layer, int x, int y) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    EXPECT_TRUE(f) << path;
    return f ? DrawJpeg(f.get(), layer, x, y) : JpegStatus::DecodeFailed;
}

// Every layer pixel: the picture's pixel where it lands, white elsewhere. `pic` is
// decoded at the layer's DecoderEnlargement; each of its pixels covers `repeat` device
// pixels each way.
void ExpectPlaced(const Layer& layer, const Picture& pic, int x, int y) {
    const int f = DecoderEnlargement(layer.scale()), repeat = layer.scale() / f;
    int wrong = 0;
    for (int ly = 0; ly < layer.height() && wrong < 5; ++ly)
        for (int lx = 0; lx < layer.width() && wrong < 5; ++lx) {
            const int px = lx / repeat - x * f, py = ly / repeat - y * f;
            const bool inside = px >= 0 && py >= 0 && px < pic.width && py < pic.height;
            const Bgr want = inside ? pic.at(px, py) : Bgr{255, 255, 255};
            const Bgr got = PixelAt(layer, lx, ly);
            if (got.b != want.b || got.g != want.g || got.r != want.r) {
                ++wrong;
                ADD_FAILURE() << "layer (" << lx << "," << ly << ") is " << got.b << "," << got.g
                              << "," << got.r << " want " << want.b << "," << want.g << ","
                              << want.r;
            }
        }
}

void Gradient(int x, int y, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(x * 7 + y);
    out[1] = static_cast<std::uint8_t>(y * 5);
    out[2] = static_cast<std::uint8_t>((x ^ y) * 3);
}

class JpegImageTest : public ::testing::Test {
protected:
    test::ScriptDir dir;
    std::string path(const std::string& name) { return dir.file(name); }
};

TEST_F(JpegImageTest, PureRedComesOutRedNotBlue) {
    const std::string file = path("red.jpg");
    ASSERT_TRUE(WriteJpeg(file, {.width = 64, .height = 48},
                          [](int, int, std::uint8_t* p) { p[0] = 255, p[1] = 0, p[2] = 0; }));
    Layer layer = WhiteLayer();
    ASSERT_EQ(Place(file, layer, 100, 50), JpegStatus::Ok);
    for (auto [x, y] : {std::pair{100, 50}, {163, 97}, {130, 70}}) {
        const Bgr p = PixelAt(layer, x, y);
        EXPECT_LE(p.b, 8) << x << "," << y;
        EXPECT_LE(p.g, 8) << x << "," << y;
        EXPECT_GE(p.r, 247) << x << "," << y;
    }
    // Just outside the picture the layer is untouched.
    for (auto [x, y] : {std::pair{99, 50}, {164, 50}, {100, 49}, {100, 98}}) {
        const Bgr p = PixelAt(layer, x, y);
        EXPECT_EQ(p.b + p.g + p.r, 3 * 255) << x << "," << y;
    }
}

// Cropping and row skipping must give exactly the pixels of a full decode, for every
// chroma layout, progressive files, and every way of hanging over an edge.
struct PlaceCase {
    const char* name;
    int width, height, hSamp, vSamp;
    bool progressive;
    int x, y;
    int scale = 1;  // of the layer
};

class JpegPlaceTest : public JpegImageTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(JpegPlaceTest, MatchesFullDecode) {
    const PlaceCase& c = GetParam();
    const std::string file = path("gradient.jpg");
    JpegSpec spec{.width = c.width,
                  .height = c.height,
                  .quality = 85,
                  .hSamp = c.hSamp,
                  .vSamp = c.vSamp,
                  .progressive = c.progressive};
    ASSERT_TRUE(WriteJpeg(file, spec, Gradient));
    const Picture pic = FullDecode(file, DecoderEnlargement(c.scale));
    ASSERT_EQ(pic.width, c.width * DecoderEnlargement(c.scale));
    Layer layer = WhiteLayer(c.scale);
    ASSERT_EQ(Place(file, layer, c.x, c.y), JpegStatus::Ok);
    ExpectPlaced(layer, pic, c.x, c.y);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegPlaceTest,
    ::testing::Values(PlaceCase{"inside_420", 101, 77, 2, 2, false, 30, 40},
                      PlaceCase{"larger_than_layer_at_origin", 800, 600, 2, 2, false, 0, 0},
                      PlaceCase{"negative_both_420", 300, 200, 2, 2, false, -37, -53},
                      PlaceCase{"negative_both_422", 300, 200, 2, 1, false, -37, -53},
                      PlaceCase{"negative_both_444", 300, 200, 1, 1, false, -37, -53},
                      PlaceCase{"negative_both_progressive", 300, 200, 2, 2, true, -37, -53},
                      PlaceCase{"bottom_right_420", 300, 200, 2, 2, false, 601, 455},
                      PlaceCase{"crop_all_sides", 1000, 900, 2, 2, false, -181, -203},
                      PlaceCase{"one_pixel_up", 200, 100, 2, 2, false, 10, -99},
                      PlaceCase{"one_pixel_right", 200, 100, 2, 2, false, 639, 10},
                      PlaceCase{"odd_sizes", 17, 9, 2, 2, false, 0, 471},
                      // On a layer of a denser screen the picture keeps its window size.
                      PlaceCase{"inside_420_x2", 101, 77, 2, 2, false, 30, 40, 2},
                      PlaceCase{"crop_all_sides_x2", 1000, 900, 2, 2, false, -181, -203, 2},
                      PlaceCase{"negative_progressive_x2", 300, 200, 2, 2, true, -37, -53, 2},
                      PlaceCase{"bottom_right_422_x3", 300, 200, 2, 1, false, 601, 455, 3},
                      PlaceCase{"crop_all_sides_x4", 1000, 900, 2, 2, false, -181, -203, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegImageTest, PictureWhollyOutsideLeavesLayerAlone) {
    const std::string file = path("g.jpg");
    ASSERT_TRUE(WriteJpeg(file, {.width = 50, .height = 40}, Gradient));
    Layer layer = WhiteLayer();
    const Layer before = layer;
    for (auto [x, y] : {std::pair{640, 0},
                        {0, 480},
                        {-50, 0},
                        {0, -40},
                        {INT32_MIN, INT32_MIN},
                        {INT32_MAX, INT32_MAX}}) {
        EXPECT_EQ(Place(file, layer, x, y), JpegStatus::Ok) << x << "," << y;
        EXPECT_TRUE(layer.pixels == before.pixels) << x << "," << y;
    }
}

TEST_F(JpegImageTest, GreyscaleBecomesThreeEqualComponents) {
    const std::string file = path("grey.jpg");
    JpegSpec spec{.width = 700, .height = 500, .space = JCS_GRAYSCALE};
    ASSERT_TRUE(WriteJpeg(file, spec, [](int x, int y, std::uint8_t* p) {
        p[0] = static_cast<std::uint8_t>(x + y);
    }));
    const Picture pic = FullDecode(file);
    Layer layer = WhiteLayer();
    ASSERT_EQ(Place(file, layer, -20, -10), JpegStatus::Ok);
    ExpectPlaced(layer, pic, -20, -10);
    const Bgr p = PixelAt(layer, 100, 100);
    EXPECT_EQ(p.b, p.g);
    EXPECT_EQ(p.g, p.r);
}

TEST_F(JpegImageTest, CmykIsConvertedToColour) {
    // Adobe software stores CMYK inverted; libjpeg marks such files with an Adobe marker.
    const std::string file = path("cmyk.jpg");
    JpegSpec spec{.width = 64, .height = 32, .space = JCS_CMYK, .quality = 100};
    ASSERT_TRUE(WriteJpeg(file, spec, [](int x, int, std::uint8_t* p) {
        // Left half: full magenta and yellow ink (red); right half: cyan ink (cyan).
        const bool left = x < 32;
        p[0] = left ? 255 : 0;
        p[1] = left ? 0 : 255;
        p[2] = left ? 0 : 255;
        p[3] = 255;  // no black ink
    }));
    Layer layer = WhiteLayer();
    ASSERT_EQ(Place(file, layer, 600, 460), JpegStatus::Ok);
    const Bgr red = PixelAt(layer, 608, 470), cyan = PixelAt(layer, 636, 470);
    EXPECT_GE(red.r, 245);
    EXPECT_LE(red.g, 10);
    EXPECT_LE(red.b, 10);
    EXPECT_LE(cyan.r, 10);
    EXPECT_GE(cyan.g, 245);
    EXPECT_GE(cyan.b, 245);
}

// Fatal decoder errors come back as a status; the layer is not touched.
struct BadFileCase {
    const char* name;
    std::function<std::string(const std::string& goodJpeg)> make;
    JpegStatus want;
};

class JpegBadFileTest : public JpegImageTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(JpegBadFileTest, AnswersWithoutEndingTheProcess) {
    const std::string good = path("good.jpg");
    ASSERT_TRUE(WriteJpeg(good, {.width = 40, .height = 30}, Gradient));
    const std::string bad = path("bad.jpg");
    dir.writeBytes("bad.jpg", GetParam().make(dir.read("good.jpg")));
    Layer layer = WhiteLayer();
    const Layer before = layer;
    EXPECT_EQ(Place(bad, layer, 0, 0), GetParam().want);
    EXPECT_TRUE(layer.pixels == before.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegBadFileTest,
    ::testing::Values(
        BadFileCase{"empty", [](const std::string&) { return std::string(); },
                    JpegStatus::DecodeFailed},
        BadFileCase{"garbage",
                    [](const std::string&) { return std::string(5000, '\x5a') + "not a jpeg"; },
                    JpegStatus::DecodeFailed},
        BadFileCase{
            "bmp_header",
            [](const std::string&) { return std::string("BM\x36\x10", 4) + std::string(64, '\0'); },
            JpegStatus::DecodeFailed},
        BadFileCase{"cut_in_header", [](const std::string& j) { return j.substr(0, 100); },
                    JpegStatus::DecodeFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JpegImageTest, TruncatedDataStillPlacesThePictureSilently) {
    const std::string good = path("good.jpg");
    ASSERT_TRUE(WriteJpeg(good, {.width = 320, .height = 240}, Gradient));
    const std::string bytes = dir.read("good.jpg");
    const std::string cut = path("cut.jpg");
    dir.writeBytes("cut.jpg", bytes.substr(0, bytes.size() * 2 / 3));
    const Picture whole = FullDecode(good);

    // The library would print its warning on the error stream; it must stay quiet.
    std::fflush(stderr);
    const int saved = dup(2);
    const std::string errFile = path("stderr.txt");
    std::FILE* capture = std::fopen(errFile.c_str(), "w");
    ASSERT_TRUE(capture);
    dup2(fileno(capture), 2);
    Layer layer = WhiteLayer();
    const JpegStatus status = Place(cut, layer, 0, 0);
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fclose(capture);

    EXPECT_EQ(status, JpegStatus::Ok);
    EXPECT_EQ(dir.read("stderr.txt"), "");
    // The top rows, whose data is all there, are the picture's.
    const Bgr got = PixelAt(layer, 10, 10), want = whole.at(10, 10);
    EXPECT_EQ(got.r, want.r);
    EXPECT_EQ(got.g, want.g);
    EXPECT_EQ(got.b, want.b);
}

// Finds the frame header (SOFn) and rewrites the picture's height and width.
std::string WithDimensions(std::string jpeg, int width, int height) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
        const unsigned char m = jpeg[i + 1];
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (m == 0xC0 || m == 0xC1 || m == 0xC2)) {
            jpeg[i + 5] = static_cast<char>(height >> 8), jpeg[i + 6] = static_cast<char>(height);
            jpeg[i + 7] = static_cast<char>(width >> 8), jpeg[i + 8] = static_cast<char>(width);
            return jpeg;
        }
    }
    return {};
}

// A progressive picture keeps all its coefficients: 65000 x 65000 would need about 25 GB.
TEST_F(JpegImageTest, ForgedGiganticProgressiveHeaderRunsOutOfMemoryCleanly) {
    const std::string good = path("p.jpg");
    JpegSpec spec{.width = 64, .height = 64, .progressive = true};
    ASSERT_TRUE(WriteJpeg(good, spec, Gradient));
    const std::string forged = WithDimensions(dir.read("p.jpg"), 65000, 65000);
    ASSERT_FALSE(forged.empty());
    const std::string bad = path("huge.jpg");
    dir.writeBytes("huge.jpg", forged);
    Layer layer = WhiteLayer();
    EXPECT_EQ(Place(bad, layer, 0, 0), JpegStatus::NoMemory);
}

}  // namespace
}  // namespace velmora
