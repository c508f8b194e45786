// Call writes var1 and answers 0; nothing else.
#include "record.h"

static std::string* vars;

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string* v, velmora::CurrentLine*) {
    vars = v;
    return 1;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    vars[velmora::kVar1] = "set by plug-in for " + function;
    return 0;
}
