// The one X server helper of the tests: a private Xvfb (so parallel tests never share a
// screen, the focus or the stacking order) and, where a test needs one, openbox as its
// window manager. The server picks a free display number itself.
#pragma once

#include <sys/types.h>

#include <string>

namespace velmora::test {

// Bare: no window manager. OneClient: none either, and the server ends when its first
// client leaves, as a server that goes away between two connections.
enum class WindowManager { Bare, Openbox, OneClient };

class XServer {
public:
    XServer() = default;
    explicit XServer(WindowManager wm, int width = 1024, int height = 768) {
        start(wm, width, height);
    }
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts Xvfb and, with a window manager, waits until that manages new windows.
    // False on failure. DISPLAY is left alone: callers pass display() on.
    bool start(WindowManager wm = WindowManager::Bare, int width = 1024, int height = 768);
    bool ok() const { return !display_.empty(); }
    const std::string& display() const { return display_; }

private:
    pid_t xvfb_ = -1, wm_ = -1;
    std::string display_;
};

}  // namespace velmora::test
