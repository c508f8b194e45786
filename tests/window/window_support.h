// Helpers for the window tests: the Qt application, an engine with a fake front end,
// a display and a program folder, BMP files of every usual depth, and an
// answerer for modal boxes.
#pragma once

#include <QImage>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "fake_frontend.h"
#include "script_dir.h"
#include "window/display.h"

namespace velmora::test {

// The one QApplication of the test program (offscreen platform).
void EnsureApp();

// An engine on the fake front end with white layers and the default rectangles.
struct EngineRig {
    FakeFrontend fe;
    Engine engine{fe};
    Display display{engine};
    ScriptDir folder;

    EngineRig();
    // Offers `count` choices as the `choice` command does and draws them.
    void offerChoices(int count, int highlighted = 1);
};

// Writes a BMP file of the picture at `bits` per pixel (1, 4, 8, 16, 24 or 32); the
// palette of the low depths holds the picture's colours, which must fit.
std::string MakeBmp(const QImage& picture, int bits);

// The pixel of a layer as 0xRRGGBB, at device pixel (x, y).
std::uint32_t LayerPixel(const Layer& layer, int x, int y);
// Number of device pixels in the rectangle of a layer darker than mid-grey.
int DarkPixels(const Layer& layer, int left, int top, int right, int bottom);

// Answers modal boxes as they open: each answer accepts (true) or cancels (false) one
// box, and the box's text and caption are recorded. Boxes beyond the answers are
// cancelled, so a test never hangs on one.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::vector<bool> answers = {});
    ~ModalAnswerer();
    QStringList texts, captions;
    std::vector<bool> hadWarningIcon;
    std::vector<int> buttonCounts;

private:
    void poll();
    std::vector<bool> answers_;
    QTimer timer_;
};

}  // namespace velmora::test
