// Runs script lines through a real Engine and the fake front end in a fresh program
// folder. The command `probe` records var1 and var2 (as UTF-8, "var1|var2") so that a
// test can look at the results line by line.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/text.h"
#include "fake_frontend.h"
#include "temp_dir.h"

namespace velmora::test {

class ScriptHarness {
public:
    ScriptHarness() : engine(fe) {
        fe.engine = &engine;
        engine.setProgramPath(dir.path() + "/");
        engine.addCommands({{"probe", 0, [this](Engine& e) {
                                 probes.push_back(Cp932ToUtf8(e.vars[kVar1]) + "|" +
                                                  Cp932ToUtf8(e.vars[kVar2]));
                             }}});
    }

    // Runs "[main]", the lines (UTF-8, converted to CP932) and "endcode" to the end of
    // the run; the engine is shut down afterwards.
    void run(const std::vector<std::string>& lines) {
        std::string code = "[main]\r\n";
        for (const auto& l : lines) code += Utf8ToCp932(l) + "\r\n";
        code += "endcode\r\n";
        std::ofstream(dir.path() + "/code.txt", std::ios::binary) << code;
        engine.LoadSettings();
        engine.StartScript();
    }

    std::string path(const std::string& name) const { return dir.path() + "/" + name; }

    TempDir dir;
    FakeFrontend fe;
    Engine engine;
    std::vector<std::string> probes;
};

}  // namespace velmora::test
