// The display model shared by both front ends: the layers, their composition into the
// finished frame, and the choice rectangles. No Qt: text is drawn through TextPainter
// and the frame reaches the screen through the present callback.
#pragma once

#include <functional>
#include <string>

#include "engine/rect.h"
#include "window/layers.h"

namespace velmora {

class Engine;

class Display {
public:
    explicit Display(Engine& engine) : engine_(engine) {}

    LayerSet layers;
    // Copies layers.screen to the window; empty in the console.
    std::function<void()> present;

    // Choice rectangles and whether each was drawn, set when the choices are drawn.
    Rect choiceRect[6];
    bool choiceDrawn[6] = {};

    void Compose(bool copyBackground, bool clearText, bool doPresent);

    Engine& engine() { return engine_; }

private:
    Engine& engine_;
};

}  // namespace velmora
