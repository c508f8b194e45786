// Composition of the layers into the finished frame.
#include "window/display.h"

#include "engine/engine.h"

namespace velmora {

void Display::Compose(bool copyBackground, bool clearText, bool doPresent) {
    if (!layers.ready) return;
    const int W = kLayerWidth, H = kLayerHeight;
    if (copyBackground) Blit(layers.base, layers.background, 0, 0, W, H, Rop::Copy);
    if (clearText) FillWhite(layers.text);
    Blit(layers.work, layers.base, 0, 0, W, H, Rop::Copy);
    // White text pixels leave the picture alone; black ones make it black.
    Blit(layers.work, layers.text, 0, 0, W, H, Rop::And);
    Blit(layers.screen, layers.work, 0, 0, W, H, Rop::Copy);
    const ChoiceState& c = engine_.choice;
    if (c.active && c.highlighted >= 1 && c.highlighted <= 6 && choiceDrawn[c.highlighted - 1]) {
        const Rect& r = choiceRect[c.highlighted - 1];
        // An inverted frame two pixels wide around the highlighted choice.
        Blit(layers.screen, layers.work, r.left - 2, r.top - 2, r.width() + 4, r.height() + 4,
             Rop::NotCopy);
        Blit(layers.screen, layers.work, r.left, r.top, r.width(), r.height(), Rop::Copy);
    }
    if (doPresent && present) present();
}

}  // namespace velmora
