// Where the window goes: the `windows_pos` rectangle when it is usable on this screen,
// otherwise the lower right corner, clear of a task bar.
#pragma once

#include <string>

namespace velmora {

struct Placement {
    int x = 0, y = 0, width = 0, height = 0;
    bool fromSetting = false;  // false: the lower-right fallback at the skin's size

    bool operator==(const Placement&) const = default;
};

Placement ComputePlacement(const std::string& rectText, int screenWidth, int screenHeight,
                           int skinWidth, int skinHeight);

}  // namespace velmora
