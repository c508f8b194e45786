// Has Call and Remove but no Init.
#include "record.h"

RECORD_LIFETIME("noinit")

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string) {
    return 0;
}

VELMORA_PLUGIN_EXPORT void Remove() {
    Record("noinit remove");
}
