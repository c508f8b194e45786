// Composition of the layers into the finished frame, and the text and choice drawing.
#include "window/display.h"

#include "engine/engine.h"

namespace velmora {

void Display::Compose(ComposeSteps steps) {
    if (!layers.ready) return;
    const int W = kLayerWidth, H = kLayerHeight;
    if (steps.copyBackground) Blit(layers.base, layers.background, 0, 0, W, H, Rop::Copy);
    if (steps.clearText) FillWhite(layers.text);
    Blit(layers.work, layers.base, 0, 0, W, H, Rop::Copy);
    // White text pixels leave the picture alone; black ones make it black.
    Blit(layers.work, layers.text, 0, 0, W, H, Rop::And);
    Blit(layers.screen, layers.work, 0, 0, W, H, Rop::Copy);
    const ChoiceState& c = engine_.choice;
    if (c.active && c.highlighted >= 1 && c.highlighted <= kMaxChoices &&
        choiceDrawn[c.highlighted - 1]) {
        const Rect& r = choiceRect[c.highlighted - 1];
        // An inverted frame two pixels wide around the highlighted choice.
        Blit(layers.screen, layers.work, r.left - 2, r.top - 2, r.width() + 4, r.height() + 4,
             Rop::NotCopy);
        Blit(layers.screen, layers.work, r.left, r.top, r.width(), r.height(), Rop::Copy);
    }
    if (steps.present && present) present();
}

void Display::ShowText(const std::string& mode, const std::string& text) {
    if (mode == "clear") Compose({.clearText = true});
    Rect area;
    // An unreadable text_pos draws nothing and leaves the screen as it was.
    if (!ParseRect(engine_.vars[kTextPos], area)) return;
    if (painter && layers.ready) painter->drawText(layers.text, area, text);
    Compose({.present = true});
}

void Display::Clear() {
    Compose({.copyBackground = true, .clearText = true, .present = true});
}

void Display::DrawChoices() {
    const ChoiceState& c = engine_.choice;
    for (int i = 0; i < c.count && i < kMaxChoices; ++i) {
        Rect r;
        choiceDrawn[i] = ParseRect(engine_.vars[kChoicePos1 + i], r);
        if (!choiceDrawn[i]) continue;
        choiceRect[i] = r;
        // One pixel in from the top-left, so the text clears the highlight frame.
        if (painter && layers.ready)
            painter->drawText(layers.text, Rect{r.left + 1, r.top + 1, r.right, r.bottom},
                              c.text[i]);
    }
    Compose({.present = true});
}

bool Display::ChoiceHit(int n, int x, int y) const {
    return n >= 1 && n <= kMaxChoices && choiceDrawn[n - 1] && choiceRect[n - 1].contains(x, y);
}

}  // namespace velmora
