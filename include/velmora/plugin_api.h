// The plug-in interface shared by velmora and the libraries it loads with 'dll,load'.
//
// A plug-in exports Init, Call and Remove with C linkage. At Init it receives the
// address of the host's built-in variables (25 consecutive std::string objects) and
// of the record of the line being executed. Both stay valid for the program's life.
// Host and plug-ins must share one libstdc++: the plug-in assigns to the host's
// strings and destroys the string passed to Call.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Indices into the built-in variables; the order is fixed for plug-ins.
enum BuiltinIndex : int {
    kChoicePos1 = 0,
    kChoicePos2,
    kChoicePos3,
    kChoicePos4,
    kChoicePos5,
    kChoicePos6,
    kChoiceSel,
    kChoiceText,
    kTextPos,
    kVar1,
    kVar2,
    kVar3,
    kBookmark,
    kBackground,
    kExitPos,
    kBeginPos,
    kBegin,
    kWindowsPos,
    kTitle,
    kProgramPath,
    kProgramVer,
    kCounter,
    kWebRoot,
    kProxy,
    kProxyPort,
    kBuiltinCount
};

constexpr int kMaxParams = 12;

// The line being executed. A read writes only param[0 .. paramCount-1];
// higher entries keep what earlier lines left in them.
struct CurrentLine {
    std::int32_t lineNumber = 0;    // physical lines consumed; 1-based number of this line
    std::string command;            // first field, expanded and lower-cased
    std::string param[kMaxParams];  // parameters 1 to 12 (param[0] is parameter 1)
    std::int32_t paramCount = 0;    // 0 to 12

    // 1-based access, as scripts number parameters.
    std::string& p(int n) { return param[n - 1]; }
    const std::string& p(int n) const { return param[n - 1]; }
};

// The 25 built-in variables as one block; plug-ins receive &v[0].
struct BuiltinVariables {
    std::string v[kBuiltinCount];

    std::string& operator[](int i) { return v[i]; }
    const std::string& operator[](int i) const { return v[i]; }
};

// Set in the environment while the host traces the script (velmora --trace): a plug-in
// writes its notes for the script's author to standard error only then.
constexpr const char* kTraceEnvironment = "VELMORA_TRACE";

}  // namespace velmora

// Marks an entry point for export, also in a plug-in built with hidden visibility.
#define VELMORA_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
// Exactly 1 accepts the load.
typedef std::int32_t (*VelmoraPluginInit)(std::string* builtinVariables,
                                          velmora::CurrentLine* currentLine);
// 0: the function was handled; anything else: unknown function. Owns `function`.
typedef std::int32_t (*VelmoraPluginCall)(std::string function);
typedef void (*VelmoraPluginRemove)();
}
