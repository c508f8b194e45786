// What the sixnet functions share: the host's records received at Init, and the six
// functions a script reaches with 'dll,call,<name>,<function>[,<argument>]'.
#pragma once

#include <string>

#include "velmora/plugin_api.h"

namespace sixnet {

// The host's built-in variables and current line, valid from Init on.
struct Host {
    std::string* vars = nullptr;
    velmora::CurrentLine* line = nullptr;

    std::string& var1() { return vars[velmora::kVar1]; }
    std::string& var2() { return vars[velmora::kVar2]; }
    std::string& var3() { return vars[velmora::kVar3]; }
    // The function's one argument: parameter 4 of the line, possibly left by an
    // earlier line when this one has fewer parameters.
    const std::string& argument() const { return line->p(4); }
};

void OsVer(Host& host);
// osver's work; false when it left var3 alone (record unreadable, not of the NT family).
bool ReportVersion(Host& host);
void GetIp(Host& host);
void GetProto(Host& host);
void ChooseSetupProgram(Host& host);  // 2ksetup1
void StartSetupProgram(Host& host);   // 2ksetup2
void InstallHotfix(Host& host);       // 2ksetup3

}  // namespace sixnet
