// Checks a script without running it: unknown commands and sub-commands, missing
// parameters, labels that no line matches, blocks and loops that do not balance,
// unknown conditions, a missing start label.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class Engine;

struct Finding {
    std::string file;     // as named to the checker
    int line = 0;         // 1-based; 0 for the file as a whole
    std::string message;  // UTF-8
};

// Checks file (a native path) against the commands installed in engine. programPath is
// where relative script names of `usescript` are found; beginLabel is the start label.
std::vector<Finding> CheckScript(const Engine& engine, const std::string& file,
                                 const std::string& programPath, const std::string& beginLabel);

}  // namespace velmora
