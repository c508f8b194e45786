// XDesktop on a live server, bare and under openbox: the top-level list in stacking
// order, titles as CP932, visibility, our own window, the search over that list,
// its 500-window limit, and focus.
#include "host/x_desktop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/text.h"
#include "x_server_support.h"

namespace velmora {
namespace {

using test::TestWindow;
using test::WaitFor;

using XDesktopTest = test::XDisplayTest;

int IndexOf(const std::vector<WindowEntry>& list, unsigned long id) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].id == id) return static_cast<int>(i);
    return -1;
}

TEST_P(XDesktopTest, ListsWindowsTopToBottomWithTitles) {
    TestWindow& first = open("First window");
    TestWindow& hidden = open("Hidden window", {"--hidden"});
    TestWindow& legacy = open("Legacy Caf\xe9", {"--legacy-name"});  // Latin-1 WM_NAME
    TestWindow& japanese = open("無題 - メモ帳");
    TestWindow& own = openOwn();

    XDesktop x;
    std::string why;
    ASSERT_TRUE(x.open(why));
    EXPECT_EQ(x.hasWindowManager(), GetParam());
    auto list = x.topLevels();
    int iFirst = IndexOf(list, first.id), iLegacy = IndexOf(list, legacy.id),
        iJapanese = IndexOf(list, japanese.id), iOwn = IndexOf(list, own.id);
    ASSERT_GE(iFirst, 0);
    ASSERT_GE(iLegacy, 0);
    ASSERT_GE(iJapanese, 0);
    ASSERT_GE(iOwn, 0);
    // Opened later means higher up.
    EXPECT_LT(iOwn, iJapanese);
    EXPECT_LT(iJapanese, iLegacy);
    EXPECT_LT(iLegacy, iFirst);
    EXPECT_EQ(x.ownWindow(list), iOwn);

    EXPECT_EQ(list[iFirst].title, "First window");
    EXPECT_EQ(list[iLegacy].title, Utf8ToCp932("Legacy Café"));
    EXPECT_EQ(list[iJapanese].title, Utf8ToCp932("無題 - メモ帳"));
    for (const auto& e : list) EXPECT_TRUE(e.visible || e.title.empty());
    int iHidden = IndexOf(list, hidden.id);
    if (iHidden >= 0)
        EXPECT_FALSE(list[iHidden].visible);  // a bare server lists it
    else
        EXPECT_TRUE(GetParam());  // a window manager does not

    // The search on this live list.
    EXPECT_EQ(FindWindowByTitle(list, iOwn, Utf8ToCp932("メモ帳")), iJapanese);
    EXPECT_EQ(FindWindowByTitle(list, iOwn, "window"), iFirst);
    EXPECT_EQ(FindWindowByTitle(list, iOwn, "Hidden"), -1);
    EXPECT_EQ(FindWindowByTitle(list, iOwn, "velmora"), iOwn);  // exact step
}

TEST_P(XDesktopTest, NoOwnWindowWithoutOneOfOurPid) {
    open("Someone else's", {"--pid", "1"});
    XDesktop x;
    std::string why;
    ASSERT_TRUE(x.open(why));
    EXPECT_EQ(x.ownWindow(x.topLevels()), -1);
}

TEST_P(XDesktopTest, FocusMakesTheWindowActive) {
    TestWindow& a = open("Alpha");
    TestWindow& b = open("Beta");
    XDesktop x;
    std::string why;
    ASSERT_TRUE(x.open(why));
    for (const TestWindow* w : {&a, &b, &a}) {
        EXPECT_TRUE(x.focus(w->id));
        EXPECT_EQ(x.activeWindow(), w->id);
        auto list = x.topLevels();
        EXPECT_EQ(list.empty() ? 0 : list[0].id, w->id);  // and raises it
    }
    // A window that cannot take the focus: the attempts end, and say so.
    EXPECT_FALSE(x.focus(0x7fffff));
}

TEST_P(XDesktopTest, WalkStopsAfterFiveHundredWindows) {
    const int fillers = kMaxWalkedWindows - 1;  // the target is the 500th window below ours
    test::ManyWindows many(fillers);
    XDesktop x;
    std::string why;
    ASSERT_TRUE(x.open(why));
    std::vector<WindowEntry> list;
    int own = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
            list = x.topLevels();
            own = IndexOf(list, many.own());
            return own >= 0 && list[own].visible && IndexOf(list, many.target()) == own + 500 &&
                   IndexOf(list, many.beyond()) == own + 501;
        },
        60000))
        << "ours at " << own << ", target at " << IndexOf(list, many.target()) << " of "
        << list.size();
    EXPECT_EQ(x.ownWindow(list), own);
    EXPECT_EQ(FindWindowByTitle(list, own, "target"), own + 500);
    EXPECT_EQ(FindWindowByTitle(list, own, "beyond"), -1);
    // The exact title has no limit.
    EXPECT_EQ(FindWindowByTitle(list, own, "Far beyond"), own + 501);
}

INSTANTIATE_TEST_SUITE_P(Modes, XDesktopTest, ::testing::Bool(), test::ModeName);

}  // namespace
}  // namespace velmora
