// An engine harness that runs a list of script lines and records, at every `probe`
// line, var1 and var2 as UTF-8 ("var1|var2"), so that a test can follow the results
// of the commands line by line.
#pragma once

#include <string>
#include <vector>

#include "engine_harness.h"

namespace velmora::test {

struct ScriptHarness : EngineHarness {
    std::vector<std::string> probes;

    ScriptHarness() {
        engine.addCommands({{"probe", 0, [this](Engine& e) {
                                 probes.push_back(Cp932ToUtf8(e.vars[kVar1]) + "|" +
                                                  Cp932ToUtf8(e.vars[kVar2]));
                             }}});
    }

    // Runs "[main]", the lines (UTF-8; "$D" stands for the program folder) and "endcode".
    void runLines(std::vector<std::string> lines) {
        std::string script = "[main]\n";
        for (std::string& l : lines) script += withFolder(l) + "\n";
        run(script + "endcode\n");
    }

    // The text with every "$D" replaced by the program folder (without its last "/").
    std::string withFolder(std::string text) const {
        for (size_t at; (at = text.find("$D")) != std::string::npos;)
            text.replace(at, 2, dir.path());
        return text;
    }
};

}  // namespace velmora::test
