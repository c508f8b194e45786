// Running the real program on a private X server: an Xvfb per test (so parallel tests
// never share a screen; tests/support runs it), the velmora process, and an X client that reads
// screen pixels and types and clicks through XTest, as a user would.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "process.h"
#include "wait.h"
#include "x_server.h"

typedef struct _XDisplay Display;
typedef unsigned long XID;

namespace velmora::test {

// A private Xvfb of the given size without a window manager: tests/support's X server.
class PrivateXServer : public XServer {
public:
    explicit PrivateXServer(int width = 1024, int height = 768)
        : XServer(WindowManager::Bare, width, height) {}
};

// velmora started with VELMORA_HOME=home on the given display.
class ProgramRun {
public:
    ProgramRun(const std::string& display, const std::string& home);
    ~ProgramRun();
    // True when the program ended within the time; its exit status in `status`.
    bool waitExit(int timeoutMs, int* status = nullptr);
    bool running();

private:
    pid_t pid_ = -1;
};

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Pixels read from the screen, 0xRRGGBB, row by row; empty when the area could not be read.
struct ScreenShot {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

class XClient {
public:
    explicit XClient(const std::string& display);
    ~XClient();
    bool ok() const { return dpy_ != nullptr; }

    // A full-screen window of one colour (0xRRGGBB) below everything mapped later.
    void showBackdrop(std::uint32_t rgb);
    // The viewable top-level window with this title (UTF-8), or 0 after the time.
    XID findWindow(const std::string& title, int timeoutMs);
    bool exists(XID window);
    ScreenRect geometry(XID window);
    std::uint32_t pixel(int x, int y);  // 0xRRGGBB as shown on the screen
    ScreenShot grab(const ScreenRect& area);
    // The window's bounding shape as the server holds it, one flag per pixel of a
    // width x height area.
    std::vector<bool> shape(XID window, int width, int height);
    int darkPixels(int left, int top, int right, int bottom);
    void focus(XID window);
    // WM_DELETE_WINDOW, as a window manager sends it for the close button.
    void requestClose(XID window);
    void click(int x, int y, unsigned button = 1);
    void move(int x, int y);  // the pointer, without a button
    void key(const char* keysymName);

private:
    ::Display* dpy_ = nullptr;
    XID backdrop_ = 0;
};

// tests/support's polling wait under this file's older name.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    return WaitFor(done, timeoutMs);
}

}  // namespace velmora::test
