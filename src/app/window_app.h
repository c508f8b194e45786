// The default mode: the script runs in the skinned window.
#pragma once

#include "app/options.h"

namespace velmora {

// Creates the application, the window, the engine and every subsystem, runs the script
// until the program closes, and returns the exit status.
int RunWindowApp(int argc, char** argv, const Options& options);

}  // namespace velmora
