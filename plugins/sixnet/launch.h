// Starting a file the way the desktop's "open" does: an executable file runs directly
// with its arguments; any other file goes to xdg-open. Nothing waits for the program.
#pragma once

#include <string>
#include <vector>

namespace sixnet {

// nativePath is a UTF-8 path, relative ones to the current folder. False when the
// start itself failed; callers that do not look at the result may ignore it.
bool OpenFile(const std::string& nativePath, const std::vector<std::string>& arguments);

}  // namespace sixnet
