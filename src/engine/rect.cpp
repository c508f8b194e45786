// Rectangle texts, read like sscanf's "%i,%i,%i,%i" from a bounded copy.
#include "engine/rect.h"

#include <algorithm>
#include <cstdio>

namespace velmora {

bool ParseRect(const std::string& text, Rect& out) {
    // Rectangle values longer than 99 bytes are cut, never read past a fixed buffer.
    std::string copy = text.substr(0, 99);
    long long l, t, r, b;
    if (std::sscanf(copy.c_str(), "%lli,%lli,%lli,%lli", &l, &t, &r, &b) == 4) {
        auto c = [](long long v) {
            return static_cast<int>(
                std::clamp<long long>(v, -kMaxRectCoordinate, kMaxRectCoordinate));
        };
        out = Rect{c(l), c(t), c(r), c(b)};
        return true;
    }
    out = Rect{};
    return false;
}

}  // namespace velmora
