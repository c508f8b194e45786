// Which window a title names: the exact title first, then the first visible window
// below our own whose title contains the text. Works on a list, so the rules are the
// same whatever the list came from.
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct WindowEntry {
    unsigned long id = 0;
    bool visible = false;
    std::string title;  // CP932, whole
};

constexpr int kMaxWalkedWindows = 500;
constexpr size_t kMaxTitleBytes = 98;

// windows runs top to bottom; own is the index of our main window, -1 when we have
// none (the walk then starts at the top). Returns an index, or -1 (always for an
// empty text).
int FindWindowByTitle(const std::vector<WindowEntry>& windows, int own, const std::string& text);

// A title as the substring walk sees it: at most 98 bytes, never half a character.
std::string CutTitle(const std::string& title);

}  // namespace velmora
