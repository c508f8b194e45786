// Desktop commands: how long the window search takes with many windows on the display
// (a search that finds nothing reads every title: the worst case), and how long a
// detached program start takes. Run under an X server, e.g. xvfb-run.
#include <X11/Xlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "host/process_start.h"
#include "host/x_desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// One full search on a display with `windows` titled top-level windows of ours.
void SearchFigure(Display* d, int windows) {
    for (int i = 0; i < windows; ++i) {
        Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 10, 10, 0, 0, 0);
        XStoreName(d, w, ("window number " + std::to_string(i)).c_str());
        XMapWindow(d, w);
    }
    XSync(d, False);
    const int rounds = 20;
    auto start = Clock::now();
    size_t listed = 0;
    for (int r = 0; r < rounds; ++r) {
        velmora::XDesktop x;
        std::string why;
        if (!x.open(why)) return;
        auto list = x.topLevels();
        listed = list.size();
        velmora::FindWindowByTitle(list, x.ownWindow(list), "no such title");
    }
    std::printf("window search, %4zu windows on the display: %7.2f ms per search\n", listed,
                Ms(start) / rounds);
}

void StartFigure() {
    const int rounds = 50;
    auto start = Clock::now();
    for (int r = 0; r < rounds; ++r) velmora::StartDetached({"/bin/true"}, "");
    std::printf("detached start of /bin/true: %7.2f ms per start\n", Ms(start) / rounds);
}

}  // namespace

int main() {
    StartFigure();
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::printf("no X display: window search figures skipped\n");
        return 0;
    }
    for (int added : {10, 90, 400, 500}) SearchFigure(d, added);  // 10, 100, 500, 1000 in all
    XCloseDisplay(d);
    return 0;
}
