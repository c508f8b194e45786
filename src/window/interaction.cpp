// Keys and pointer over the window: highlight, confirmation, dragging, begin and exit.
#include "window/interaction.h"

#include "engine/engine.h"
#include "engine/frontend.h"
#include "window/display.h"
#include "window/messages.h"

namespace velmora {

namespace {

bool IsConfirmKey(Key k) {
    return k == Key::Enter || k == Key::Space;
}

}  // namespace

void Interaction::redraw() {
    display_.Compose({.present = true});
}

bool Interaction::inBeginArea(Point p) const {
    return engine_.beginArea.contains(p.x, p.y);
}

bool Interaction::inExitArea(Point p) const {
    return engine_.exitArea.contains(p.x, p.y);
}

void Interaction::keyDown(Key key) {
    ChoiceState& c = engine_.choice;
    if (!c.active) {
        keyArmed_ = false;
    } else if (c.count >= 1) {
        const int n = c.count;
        int& h = c.highlighted;
        // The highlight wraps around, and passes over choices that were not drawn too.
        if (key == Key::Left || key == Key::Up) {
            h = (n + h - 1) % n;
            if (h == 0) h = n;
            redraw();
        } else if (key == Key::Right || key == Key::Down) {
            h = (h + 1) % (n + 1);
            if (h == 0) h = 1;
            redraw();
        }
        keyArmed_ = IsConfirmKey(key);
    }
    // Escape asks whether to quit, like closing the window; Enter does nothing more.
    if (key == Key::Escape) host_.requestClose();
}

void Interaction::keyUp(Key key) {
    // Only a key-down seen while the choices were shown confirms, so a key still held
    // from an earlier answer cannot answer the next question.
    if (engine_.choice.active && keyArmed_ && IsConfirmKey(key))
        engine_.confirmChoice(engine_.choice.highlighted);
    keyArmed_ = false;
}

void Interaction::buttonDown(Point client, Point screen) {
    beginArmed_ = exitArmed_ = false;
    dragging_ = true;
    dragPointer_ = screen;
    dragWindow_ = host_.windowPos();
    ChoiceState& c = engine_.choice;
    if (c.active) {
        bool changed = false;
        // Downwards, so the lowest number wins where rectangles overlap.
        for (int i = c.count; i >= 1; --i) {
            if (!display_.ChoiceHit(i, client.x, client.y)) continue;
            changed |= i != c.highlighted;
            c.highlighted = pressed_ = i;
            dragging_ = false;
        }
        if (changed) redraw();
    }
    if (inBeginArea(client)) {
        beginArmed_ = true;
        dragging_ = false;
    } else if (inExitArea(client)) {
        exitArmed_ = true;
        dragging_ = false;
    }
}

bool Interaction::pointerMove(Point client, Point screen) {
    bool hand = false;
    ChoiceState& c = engine_.choice;
    if (dragging_) {
        host_.moveWindow(Point{dragWindow_.x + screen.x - dragPointer_.x,
                               dragWindow_.y + screen.y - dragPointer_.y});
    } else if (c.active) {
        bool changed = false;
        for (int i = c.count; i >= 1; --i) {
            if (!display_.ChoiceHit(i, client.x, client.y)) continue;
            hand = true;
            changed |= i != c.highlighted;
            c.highlighted = i;
        }
        if (changed) redraw();
    }
    return hand || inBeginArea(client) || inExitArea(client);
}

void Interaction::buttonUp(Point client) {
    bool confirmed = false;
    ChoiceState& c = engine_.choice;
    if (c.active && !dragging_) {
        for (int i = c.count; i >= 1 && c.active; --i) {
            if (!display_.ChoiceHit(i, client.x, client.y)) continue;
            if (i != c.highlighted) {
                c.highlighted = i;
                redraw();
            }
            // Down and up on the same choice: a press on another one only moves the mark.
            if (pressed_ == c.highlighted) {
                engine_.confirmChoice(c.highlighted);
                confirmed = true;
            }
        }
    }
    if (!dragging_ && !confirmed) releaseOnArea(client);
    dragging_ = beginArmed_ = exitArmed_ = false;
}

void Interaction::releaseOnArea(Point p) {
    // Both areas act only when the button went down and up inside the same one.
    if (inBeginArea(p) && beginArmed_) {
        if (engine_.frontend().askOkCancel(msg::AskRestart())) engine_.restartFromBegin();
    } else if (inExitArea(p) && exitArmed_) {
        if (engine_.Shutdown(Confirm::Ask)) host_.requestClose();
    }
}

}  // namespace velmora
