// velmora: runs code.txt of the program folder in the window or on the console.
#include <cstdio>

#include "app/options.h"
#include "app/window_app.h"

int main(int argc, char** argv) {
    velmora::Options o = velmora::ParseOptions(argc, argv);
    if (o.mode == velmora::Options::Mode::Window) return velmora::RunWindowApp(argc, argv, o);
    if (o.mode == velmora::Options::Mode::Version) {
        std::puts("1.0");
        return 0;
    }
    std::fputs(velmora::UsageText(), o.mode == velmora::Options::Mode::Help ? stdout : stderr);
    return o.mode == velmora::Options::Mode::Help ? 0 : 2;
}
