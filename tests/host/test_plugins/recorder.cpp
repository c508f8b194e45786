// Records Init, Call (with parameter 4 and the parameter count) and Remove; handles
// every function, answering in var1.
#include "record.h"

RECORD_LIFETIME("recorder")

static std::string* vars;
static velmora::CurrentLine* line;

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string* v, velmora::CurrentLine* l) {
    vars = v;
    line = l;
    Record("recorder init");
    return 1;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    Record("recorder call " + function + " p4=" + line->p(4) +
           " count=" + std::to_string(line->paramCount));
    vars[velmora::kVar1] = "recorded " + function;
    return 0;
}

VELMORA_PLUGIN_EXPORT void Remove() {
    Record("recorder remove");
}
