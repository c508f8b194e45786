// velmora: runs code.txt of the program folder in the window or on the console.
#include <cstdio>

#include "app/console_frontend.h"
#include "app/options.h"

int main(int argc, char** argv) {
    using velmora::Options;
    Options o = velmora::ParseOptions(argc, argv);
    switch (o.mode) {
        case Options::Mode::Version:
            std::puts("1.0");
            return 0;
        case Options::Mode::Help:
            std::fputs(velmora::UsageText(), stdout);
            return 0;
        case Options::Mode::Error:
            std::fprintf(stderr, "velmora: %s\n%s", o.error.c_str(), velmora::UsageText());
            return 2;
        case Options::Mode::Console:
        case Options::Mode::Window:  // the window front end arrives with its own change
            return velmora::RunConsole(velmora::FindProgramPath(argv[0]), o.scriptArgs);
    }
    return 2;
}
