// Other programs' windows on the X display: the top-level list in stacking order,
// titles, focus, synthetic keys through XTest and the close request. Works with an
// EWMH window manager and on a bare X server. One object is one short-lived
// connection, opened for one command, so a display that goes away later is no harm.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/window_search.h"

typedef struct _XDisplay Display;

namespace velmora {

class XDesktop {
public:
    XDesktop() = default;
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    // Connects to $DISPLAY. On failure, why holds the reason (CP932) for var2.
    bool open(std::string& why);
    // XTest is there; without it keys cannot be sent (why as for open).
    bool canSendKeys(std::string& why);

    // Top-level client windows, top to bottom, with visibility and CP932 titles.
    std::vector<WindowEntry> topLevels();
    // Index in list of our own main window (the topmost visible window whose
    // _NET_WM_PID is this process), or -1.
    int ownWindow(const std::vector<WindowEntry>& list);

    unsigned long activeWindow();
    // Raise, activate and check, up to 4 times with 100 ms between; true when it took.
    bool focus(unsigned long window);
    // Press and release the key of a virtual-key code; false when X has no such key.
    bool tapKey(std::uint8_t code);
    bool pressKey(std::uint8_t code, bool down);
    void flush();  // waits until the server has taken every request
    // WM_DELETE_WINDOW when the window takes it, else _NET_CLOSE_WINDOW through the
    // window manager, else the client is disconnected as a window manager would.
    // Then waits up to a second for the window to go away.
    void requestClose(unsigned long window);

    bool hasWindowManager() const { return ewmh_; }

private:
    unsigned long atom(const char* name);
    bool readWindows(const char* property, unsigned long window, std::vector<unsigned long>& out);
    unsigned long clientOf(unsigned long frame);
    bool isVisible(unsigned long window);
    std::string titleOf(unsigned long window);
    bool wmSupports(const char* name);
    bool takesDeleteWindow(unsigned long window);
    void sendToRoot(unsigned long window, const char* message, long l0, long l1, long l2);
    bool waitGone(unsigned long window);

    Display* dpy_ = nullptr;
    unsigned long root_ = 0;
    bool ewmh_ = false;
};

}  // namespace velmora
