// The console's modal progress display: the caption and detail once, then the task's
// status, with the share done when the task knows its total, on standard error as one line
// updated in place (one line per change when standard error is not a terminal). SIGINT while it
// runs cancels the task, as the Cancel button of the window's dialog does, instead of ending the
// program.
#pragma once

#include <functional>
#include <string>

#include "engine/frontend.h"

namespace velmora {

// Starts the task once SIGINT means Cancel, runs until the task has finished or SIGINT
// arrived, then closes the task. pump
// dispatches the console's pending events meanwhile. Texts are CP932.
void RunConsoleProgress(const std::string& caption, const std::string& detail, ProgressTask& task,
                        int errFd, const std::function<void()>& pump);

}  // namespace velmora
