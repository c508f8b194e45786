// The title search over a window list: exact step, substring walk, limits.
#include "host/window_search.h"

#include <gtest/gtest.h>

#include "engine/text.h"

namespace velmora {
namespace {

WindowEntry W(const std::string& title, bool visible = true) {
    static unsigned long next = 1;
    return {next++, visible, title};
}

struct SearchCase {
    const char* name;
    std::vector<WindowEntry> windows;  // top to bottom
    int own;
    std::string text;
    int expected;
};

TEST(WindowSearch, Rules) {
    const std::string kanji = Utf8ToCp932("メモ帳");                // 83 81 83 82 92 A0
    const std::string table = Utf8ToCp932("表");                    // 95 5C
    const std::string longTitle = std::string(95, 'x') + "Marker";  // "Mar" within 98 bytes
    const SearchCase cases[] = {
        {"exact above own wins", {W("Editor"), W("own"), W("My Editor")}, 1, "Editor", 0},
        {"exact ignores ASCII case", {W("own"), W("EDITOR")}, 0, "editor", 1},
        {"substring only below own", {W("Editor 1"), W("own"), W("Editor 2")}, 1, "Editor", 2},
        {"substring above own not found", {W("Editor 1"), W("own"), W("x")}, 1, "Editor", -1},
        {"substring is case-sensitive", {W("own"), W("My Editor")}, 0, "editor", -1},
        {"first match going down", {W("own"), W("a Ed"), W("b Ed")}, 0, "Ed", 1},
        {"hidden skipped in walk", {W("own"), W("Ed", false), W("x Ed")}, 0, "Ed", 2},
        {"hidden skipped in exact step", {W("Ed", false), W("own")}, 1, "Ed", -1},
        {"no own window walks from top", {W("a Ed"), W("b Ed")}, -1, "Ed", 0},
        {"empty text finds nothing", {W("own"), W(""), W("a")}, 0, "", -1},
        {"untitled windows never match", {W("own"), W("")}, 0, "x", -1},
        {"cut at 98 bytes", {W("own"), W(longTitle)}, 0, "Mark", -1},
        {"inside 98 bytes", {W("own"), W(longTitle)}, 0, "xMar", 1},
        {"whole title for exact step", {W("own"), W(longTitle)}, 0, longTitle, 1},
        {"CP932 compared exactly", {W("own"), W("a" + kanji + "b")}, 0, kanji, 1},
        // "\\" must not match the second byte of a double-byte character.
        {"no match inside a character", {W("own"), W(table)}, 0, "\\", -1},
        {"exact keeps double bytes", {W("own"), W(table)}, 0, table, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindWindowByTitle(c.windows, c.own, c.text), c.expected) << c.name;
}

TEST(WindowSearch, WalkLooksAtMostFiveHundredWindows) {
    for (int fillers : {498, 499, 500}) {
        std::vector<WindowEntry> list{W("own")};
        // Hidden fillers count as looked at, as visible ones do.
        for (int i = 0; i < fillers; ++i) list.push_back(W("filler", i % 2 == 0));
        list.push_back(W("Far target"));
        int found = FindWindowByTitle(list, 0, "target");
        EXPECT_EQ(found, fillers < 500 ? fillers + 1 : -1) << fillers;
    }
}

TEST(WindowSearch, CutNeverSplitsACharacter) {
    const std::string a = Utf8ToCp932("あ");
    EXPECT_EQ(CutTitle(std::string(97, 'x') + a), std::string(97, 'x'));
    EXPECT_EQ(CutTitle(std::string(96, 'x') + a + "z"), std::string(96, 'x') + a);
    EXPECT_EQ(CutTitle("short"), "short");
    EXPECT_EQ(CutTitle(std::string(120, 'y')).size(), kMaxTitleBytes);
}

}  // namespace
}  // namespace velmora
