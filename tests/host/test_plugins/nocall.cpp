// Exports Init and Remove but no Call.
#include "record.h"

RECORD_LIFETIME("nocall")

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string*, velmora::CurrentLine*) {
    Record("nocall init");
    return 1;
}

VELMORA_PLUGIN_EXPORT void Remove() {
    Record("nocall remove");
}
