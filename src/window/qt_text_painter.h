// Text on the layers with QPainter: IPAGothic, black, word-wrapped and clipped.
#pragma once

#include <QFont>

#include "window/display.h"

namespace velmora {

// The font of the text layer, shared by the `text` lines and the choices.
QFont TextLayerFont();

class QtTextPainter : public TextPainter {
public:
    QtTextPainter() : font_(TextLayerFont()) {}
    void drawText(Layer& layer, const Rect& area, const std::string& cp932) override;

private:
    QFont font_;
};

}  // namespace velmora
