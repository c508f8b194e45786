// Rectangle texts, read like sscanf's "%i,%i,%i,%i" from a bounded copy.
#include "engine/rect.h"

#include <cstdio>

namespace velmora {

bool ParseRect(const std::string& text, Rect& out) {
    // Rectangle values longer than 99 bytes are cut, never read past a fixed buffer.
    std::string copy = text.substr(0, 99);
    int l, t, r, b;
    if (std::sscanf(copy.c_str(), "%i,%i,%i,%i", &l, &t, &r, &b) == 4) {
        out = Rect{l, t, r, b};
        return true;
    }
    out = Rect{};
    return false;
}

}  // namespace velmora
