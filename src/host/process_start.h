// Starts a program that runs on its own: the script never waits for it and no zombie
// is left behind. Whether the start itself worked is known before the call returns.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// Runs argv[0] (a path, not searched) with argv in folder dir (empty: the current
// one), stdin from /dev/null, no descriptor of ours but stdout and stderr inherited.
// False, with errno set, when the folder or the program cannot be entered or executed.
// With waitForExitMs, a program that ends within that time with a failure status (or a
// signal) counts as not started too; one still running then goes on unwatched.
bool StartDetached(const std::vector<std::string>& argv, const std::string& dir,
                   int waitForExitMs = 0);

// The first executable file called name in $PATH; empty when there is none.
std::string FindInPath(const std::string& name);

}  // namespace velmora
