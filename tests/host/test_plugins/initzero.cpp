// Refuses to be loaded: Init answers 0.
#include "record.h"

RECORD_LIFETIME("initzero")

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string*, velmora::CurrentLine*) {
    Record("initzero init");
    return 0;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string) {
    return 0;
}

VELMORA_PLUGIN_EXPORT void Remove() {
    Record("initzero remove");
}
