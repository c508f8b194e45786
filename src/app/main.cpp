// velmora: runs code.txt of the program folder in the window or on the console.
#include <cstdio>

#include "app/check.h"
#include "app/console_frontend.h"
#include "app/options.h"
#include "app/starter.h"
#include "app/window_app.h"

int main(int argc, char** argv) {
    using velmora::Options;
    Options o = velmora::ParseOptions(argc, argv);
    const bool runsScript = o.mode == Options::Mode::Console || o.mode == Options::Mode::Window ||
                            (o.mode == Options::Mode::Check && o.path.empty());
    if (const std::string note = runsScript ? velmora::ScriptNotFoundNote(argv[0]) : "";
        !note.empty())
        std::fprintf(stderr, "velmora: %s\n", note.c_str());
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
        case Options::Mode::Check:
            return velmora::RunCheck(velmora::FindProgramPath(argv[0]), o.path);
        case Options::Mode::New:
            return velmora::CreateStarterFolder(o.path, velmora::FindExecutable(argv[0]));
        case Options::Mode::Console:
            return velmora::RunConsole(velmora::FindProgramPath(argv[0]), o.scriptArgs, o.trace);
        case Options::Mode::Window:
            return velmora::RunWindowApp(argc, argv, o);
    }
    return 2;
}
