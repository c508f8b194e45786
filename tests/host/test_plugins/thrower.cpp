// Throws from the entry point its line asks for: Init when loaded under the name "init",
// Call for the function "call", Remove once the function "arm" was called.
#include <stdexcept>

#include "record.h"

RECORD_LIFETIME("thrower")

namespace {
bool removeThrows = false;
}

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string*, velmora::CurrentLine* line) {
    if (line->p(3) == "init") throw std::runtime_error("init failed");
    return 1;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    if (function == "call") throw 42;  // not even a std::exception
    removeThrows = function == "arm";
    return 0;
}

VELMORA_PLUGIN_EXPORT void Remove() {
    if (removeThrows) throw std::runtime_error("remove failed");
}
