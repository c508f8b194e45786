// Which Qt platform the window runs on, for every mix of displays a session can have.
#include <gtest/gtest.h>

#include "app/options.h"

namespace velmora {
namespace {

TEST(Platform, XWhereverAServerAnswersUnlessTheUserChose) {
    const struct {
        const char* what;
        DisplayEnvironment env;
        std::string platform;
        bool fails;
    } cases[] = {
        {"X session", {"", ":0", true, "", false}, "xcb", false},
        {"Wayland session with XWayland", {"", ":0", true, "wayland-0", true}, "xcb", false},
        {"the user's choice", {"wayland", ":0", true, "wayland-0", true}, "", false},
        {"the user's choice without any display", {"offscreen", "", false, "", false}, "", false},
        {"Wayland only", {"", "", false, "wayland-0", true}, "wayland", false},
        {"a stale DISPLAY in a Wayland session",
         {"", ":9", false, "wayland-0", true},
         "wayland",
         false},
        {"Wayland without Qt's plug-in", {"", "", false, "wayland-0", false}, "", true},
        {"a stale DISPLAY alone", {"", ":9", false, "", false}, "", true},
        {"nothing", {"", "", false, "", false}, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PlatformChoice choice = ChoosePlatform(c.env);
        EXPECT_EQ(choice.platform, c.platform);
        EXPECT_EQ(!choice.error.empty(), c.fails) << choice.error;
    }
}

}  // namespace
}  // namespace velmora
