// strings: a minimal velmora plug-in. Scripts load it with
//   dll,load,strings.dll,str
// and call its two functions with the text as the fourth parameter:
//   dll,call,str,upper,hello     -> var1 = "HELLO"
//   dll,call,str,length,hello    -> var1 = "5" (bytes), var2 = "OK"
#include <cstdint>
#include <string>

#include "velmora/plugin_api.h"

namespace {

// Given at Init; valid while the plug-in stays loaded.
std::string* vars;
velmora::CurrentLine* line;

bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// ASCII letters only; the second byte of a double-byte character is left alone.
std::string Upper(const std::string& text) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        unsigned char c = out[i];
        if (IsLeadByte(c))
            ++i;
        else if (c >= 'a' && c <= 'z')
            out[i] = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

}  // namespace

VELMORA_PLUGIN_EXPORT std::int32_t Init(std::string* builtinVariables,
                                        velmora::CurrentLine* currentLine) {
    vars = builtinVariables;
    line = currentLine;
    return 1;  // anything else refuses the load
}

VELMORA_PLUGIN_EXPORT std::int32_t Call(std::string function) {
    // Parameter 4 of the line: a line with fewer parameters leaves an older value here.
    std::string text = line->paramCount >= 4 ? line->p(4) : "";
    if (function == "upper") {
        vars[velmora::kVar1] = Upper(text);
        return 0;
    }
    if (function == "length") {
        vars[velmora::kVar1] = std::to_string(text.size());
        vars[velmora::kVar2] = "OK";
        return 0;
    }
    return 1;  // unknown: the host reports it and stops the script
}

VELMORA_PLUGIN_EXPORT void Remove() {}  // called by 'dll,unload' only, not at exit
