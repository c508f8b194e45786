// SIGINT, SIGTERM and SIGHUP as a request to end the program, in both front ends: the
// handler only raises a flag, and the front end's event dispatch turns it into a shutdown,
// so the exit section runs once and nothing is cut off in the middle of a line. A second
// signal ends the program at once.
#pragma once

#include <atomic>

namespace velmora {

std::atomic<bool>& StopRequested();
// Without SA_RESTART, so that a blocking read or wait returns and the run can end.
void InstallStopSignalHandlers();

}  // namespace velmora
