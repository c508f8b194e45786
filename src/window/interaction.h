// The window's keyboard and pointer logic: the highlight over the offered choices,
// confirming one by key or click, dragging the borderless window, and the begin and
// exit areas. No Qt: the widget translates its events and lends a few window services.
#pragma once

namespace velmora {

class Display;
class Engine;

enum class Key { Left, Up, Right, Down, Enter, Space, Escape, Other };

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

// What the logic needs from the window it runs in.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual Point windowPos() const = 0;         // top-left corner, screen pixels
    virtual void moveWindow(Point topLeft) = 0;  // keeps the size and top-most placement
    virtual void requestClose() = 0;             // the close request, which runs Shutdown
};

class Interaction {
public:
    Interaction(Engine& engine, Display& display, WindowHost& host)
        : engine_(engine), display_(display), host_(host) {}

    void keyDown(Key key);
    void keyUp(Key key);
    // Left button; `client` in window pixels, `screen` in screen pixels.
    void buttonDown(Point client, Point screen);
    // Returns true when the pointer is over a target and should show the hand.
    bool pointerMove(Point client, Point screen);
    void buttonUp(Point client);

    bool dragging() const { return dragging_; }
    bool keyArmed() const { return keyArmed_; }
    int pressedChoice() const { return pressed_; }

private:
    void redraw();
    bool inBeginArea(Point p) const;
    bool inExitArea(Point p) const;
    void releaseOnArea(Point p);

    Engine& engine_;
    Display& display_;
    WindowHost& host_;

    int pressed_ = 0;  // choice under the last press on a drawn choice
    bool dragging_ = false;
    Point dragPointer_, dragWindow_;  // pointer and window corner at the press
    bool keyArmed_ = false;
    bool beginArmed_ = false, exitArmed_ = false;
};

}  // namespace velmora
