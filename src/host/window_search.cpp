// The two search steps over a window list.
#include "host/window_search.h"

#include "engine/text.h"

namespace velmora {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Title equality as the Windows look-up has it: ASCII letters in either case,
// double-byte characters byte for byte.
bool SameTitle(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string CutTitle(const std::string& title) {
    size_t end = 0;
    while (end < title.size()) {
        size_t step = IsLeadByte(title[end]) ? 2 : 1;
        if (end + step > kMaxTitleBytes) break;
        end += step;
    }
    return title.substr(0, end);
}

int FindWindowByTitle(const std::vector<WindowEntry>& windows, int own, const std::string& text) {
    // An empty text would name whatever untitled window comes first.
    if (text.empty()) return -1;
    const int count = static_cast<int>(windows.size());
    for (int i = 0; i < count; ++i)
        if (windows[i].visible && SameTitle(windows[i].title, text)) return i;

    int looked = 0;
    for (int i = own + 1; i < count && looked < kMaxWalkedWindows; ++i, ++looked) {
        if (!windows[i].visible) continue;
        std::string title = CutTitle(windows[i].title);
        if (!title.empty() && FindMbs(title, text) != std::string::npos) return i;
    }
    return -1;
}

}  // namespace velmora
