// The checker with every subsystem's commands installed, printing its findings.
#include "app/check.h"

#include <cstdio>

#include "app/console_frontend.h"
#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/script_check.h"
#include "engine/text.h"
#include "window/display.h"

namespace velmora {

int RunCheck(const std::string& programPath, const std::string& file) {
    // A named file is checked with its own folder as the program folder.
    std::string folder = programPath, path = file.empty() ? programPath + "code.txt" : file;
    if (!file.empty()) {
        size_t slash = file.rfind('/');
        folder = slash == std::string::npos ? "./" : file.substr(0, slash + 1);
    }
    ConsoleFrontend fe;
    Engine engine(fe);
    fe.attach(engine);
    Display display(engine);
    Subsystems subsystems(engine, display);
    engine.setProgramPath(Utf8ToCp932(folder));  // the engine works in CP932
    engine.LoadSettings();
    std::vector<Finding> findings =
        CheckScript(engine, path, engine.vars[kProgramPath], engine.vars[kBegin]);
    for (const Finding& f : findings) {
        if (f.line > 0)
            std::printf("%s:%d: %s\n", f.file.c_str(), f.line, f.message.c_str());
        else
            std::printf("%s: %s\n", f.file.c_str(), f.message.c_str());
    }
    // Which file was checked: without a name the folder is a guess the author should see.
    std::fprintf(stderr, "velmora: checked %s: %zu finding%s\n", path.c_str(), findings.size(),
                 findings.size() == 1 ? "" : "s");
    return findings.empty() ? 0 : 1;
}

}  // namespace velmora
