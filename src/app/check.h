// `velmora --check [FILE]`: reports what is wrong with a script without running it.
#pragma once

#include <string>

namespace velmora {

// Exit status 0 when the script is clean, 1 when anything was reported.
int RunCheck(const std::string& programPath, const std::string& file);

}  // namespace velmora
