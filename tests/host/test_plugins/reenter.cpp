// Runs a callback set by the test in the middle of Call, as a plug-in's modal dialog
// runs events, then goes on executing its own code and writes var1.
#include "record.h"

RECORD_LIFETIME("reenter")

static std::string* vars;
static void (*callback)(void*);
static void* context;

VELMORA_PLUGIN_EXPORT void SetReentry(void (*fn)(void*), void* ctx) {
    callback = fn;
    context = ctx;
}

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string* v, velmora::CurrentLine*) {
    vars = v;
    return 1;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    if (callback) callback(context);
    vars[velmora::kVar1] = "returned from " + function;
    Record("reenter call done");
    return 0;
}

VELMORA_PLUGIN_EXPORT void Remove() {
    Record("reenter remove");
}
