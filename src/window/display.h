// The display model shared by both front ends: the layers, their composition into the
// finished frame, the `text`, `clear` and `choice` drawing and the choice hit tests.
// No Qt: text is drawn through TextPainter and the frame reaches the screen through the
// present callback.
#pragma once

#include <functional>
#include <string>

#include "engine/limits.h"
#include "engine/rect.h"
#include "window/layers.h"

namespace velmora {

class Engine;

// Draws text onto a layer; the window implements it with its font.
class TextPainter {
public:
    virtual ~TextPainter() = default;
    // CP932 text in black, word-wrapped within `area` and clipped to it, on a
    // transparent background: what the layer held stays under and between the letters.
    virtual void drawText(Layer& layer, const Rect& area, const std::string& cp932) = 0;
};

class Display {
public:
    explicit Display(Engine& engine) : engine_(engine) {}

    LayerSet layers;
    // Copies layers.screen to the window; empty in the console.
    std::function<void()> present;
    // Draws the text and choice texts; without one nothing is written on the text layer.
    TextPainter* painter = nullptr;

    // Choice rectangles and whether each was drawn, set when the choices are drawn.
    Rect choiceRect[kMaxChoices];
    bool choiceDrawn[kMaxChoices] = {};

    // The steps of a composition; the work layer and the screen are always rebuilt.
    struct ComposeSteps {
        bool copyBackground = false;  // the base layer again from the skin: pictures go
        bool clearText = false;       // the text layer white
        bool present = false;         // hand the frame to the screen
    };
    void Compose(ComposeSteps steps);

    // The `text` command: mode "clear" wipes the text layer first; text accumulates.
    void ShowText(const std::string& mode, const std::string& text);
    // The `clear` command: text, choice texts and pictures go, the skin stays.
    void Clear();
    // Draws the texts of the offered choices into their rectangles and presents.
    void DrawChoices();
    // True when choice n (1 to kMaxChoices) was drawn and the point lies strictly inside it.
    bool ChoiceHit(int n, int x, int y) const;

    Engine& engine() { return engine_; }

private:
    Engine& engine_;
};

}  // namespace velmora
