// sixnet: a plug-in for velmora's 'dll' command that tells a script about the
// system's IPv6 readiness and starts the IPv6 set-up and hot-fix programs.
#include "sixnet.h"

#include <cstdint>
#include <type_traits>

namespace {

sixnet::Host host;

struct Function {
    const char* name;
    void (*run)(sixnet::Host&);
};

// Matched byte for byte, in this order.
const Function kFunctions[] = {
    {"osver", sixnet::OsVer},
    {"getip", sixnet::GetIp},
    {"getproto", sixnet::GetProto},
    {"2ksetup1", sixnet::ChooseSetupProgram},
    {"2ksetup2", sixnet::StartSetupProgram},
    {"2ksetup3", sixnet::InstallHotfix},
};

}  // namespace

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string* builtinVariables,
                                        velmora::CurrentLine* currentLine) {
    host.vars = builtinVariables;
    host.line = currentLine;
    return 1;
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    for (const Function& f : kFunctions) {
        if (function != f.name) continue;
        f.run(host);
        return 0;
    }
    return 1;
}

VELMORA_PLUGIN_EXPORT void Remove() {}

static_assert(std::is_same_v<decltype(&Init), VelmoraPluginInit>);
static_assert(std::is_same_v<decltype(&Call), VelmoraPluginCall>);
static_assert(std::is_same_v<decltype(&Remove), VelmoraPluginRemove>);
