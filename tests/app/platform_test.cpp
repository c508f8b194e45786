// Which Qt platform the window runs on, for every mix of displays a session can have.
#include <gtest/gtest.h>

#include "app/options.h"
#include "process.h"
#include "script_dir.h"
#include "x_server.h"

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

// The display answers the program's own check and is gone when Qt connects: Qt would
// abort with a core dump; the program ends with status 1 and says why.
TEST(Platform, QtFailingAfterTheCheckEndsWithAMessage) {
    test::XServer server(test::WindowManager::OneClient);
    ASSERT_TRUE(server.ok());
    test::ScriptDir home;
    home.write("code.txt", "[main]\npause\n");
    test::ProcessOptions o;
    o.env = {"DISPLAY=" + server.display(), "VELMORA_HOME=" + home.path(),
             "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY="};
    test::ProcessResult r = test::RunProcess({std::string(VELMORA_BIN_DIR) + "/velmora"}, o);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("velmora: cannot connect to the X display " + server.display() + "\n"),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace velmora
