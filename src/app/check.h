// `velmora --check [FILE]`: reports what is wrong with a script without running it.
#pragma once

#include <string>

namespace velmora {

// Checks file, or code.txt of programPath when file is empty; says on stderr which file
// it checked. Exit status 0 when the script is clean, 1 when anything was reported.
int RunCheck(const std::string& programPath, const std::string& file);

}  // namespace velmora
