// Knows no function: Call changes its own copy of the name and answers 1.
#include "record.h"

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string*, velmora::CurrentLine*) {
    return 1;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    function.assign("changed by plug-in");
    Record("refuser call " + function);
    return 1;
}
