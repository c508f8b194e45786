// Window placement from a rectangle text.
#include "window/placement.h"

#include "engine/rect.h"

namespace velmora {

Placement ComputePlacement(const std::string& rectText, int screenWidth, int screenHeight,
                           int skinWidth, int skinHeight) {
    Rect r;
    const bool parsed = ParseRect(rectText, r);
    const int w = parsed ? r.width() : 0, h = parsed ? r.height() : 0;
    // A window pushed far off the screen could never be reached with the mouse again.
    if (r.left <= screenWidth && r.top <= screenHeight && r.left >= -100 && r.top >= -100 &&
        w > 0 && h > 0)
        return Placement{r.left, r.top, w, h, true};
    return Placement{screenWidth - skinWidth - 21, screenHeight - skinHeight - 51, skinWidth,
                     skinHeight, false};
}

}  // namespace velmora
