// Checks a script without running it: unknown commands and sub-commands, missing
// parameters, labels that no line matches, blocks and loops that do not balance,
// unknown conditions, a missing start label; and warns of lines that run, but hardly as
// their author meant.
#pragma once

#include <string>
#include <vector>

namespace velmora {

class Engine;

// An error stops a run; a warning marks a line that runs, though hardly as meant.
enum class Severity { Error, Warning };

struct Finding {
    std::string file;     // as named to the checker
    int line = 0;         // 1-based; 0 for the file as a whole
    std::string message;  // UTF-8
    Severity severity = Severity::Error;
};

// The language of the checker's own words.
enum class CheckLanguage { English, Japanese };

// Checks file (a native path) against the commands installed in engine. programPath is
// where relative script names of `usescript` are found; beginLabel is the start label.
std::vector<Finding> CheckScript(const Engine& engine, const std::string& file,
                                 const std::string& programPath, const std::string& beginLabel,
                                 CheckLanguage language = CheckLanguage::English);

}  // namespace velmora
