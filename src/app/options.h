// Command-line options of the velmora executable.
#pragma once

#include <string>
#include <vector>

#include "app/trace.h"

namespace velmora {

struct Options {
    enum class Mode { Window, Console, Check, New, Help, Version, Error } mode = Mode::Window;
    std::vector<std::string> scriptArgs;  // passed on to the engine ("bookmark")
    std::string path;                     // the file of --check, the folder of --new
    std::string error;
    // --trace: every executed line and every event that moves the script, on stderr.
    TraceMode trace = TraceMode::Off;
};

Options ParseOptions(int argc, char** argv);
const char* UsageText();

// The program folder: $VELMORA_HOME, else the executable's folder; ends in "/".
std::string FindProgramPath(const char* argv0);
// The running executable's full path.
std::string FindExecutable(const char* argv0);
// The folder whose code.txt `--check` looks at without a file: $VELMORA_HOME, else the
// current folder when it holds a code.txt (a folder made by --new runs it through its
// launcher), else the executable's folder; ends in "/".
std::string FindCheckFolder(const char* argv0);

}  // namespace velmora
