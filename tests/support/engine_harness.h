// An engine with a fake front end in a temporary program folder: write a script, run
// it to its end, and look at what it showed and stored.
#pragma once

#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/text.h"
#include "fake_frontend.h"
#include "script_dir.h"

namespace velmora::test {

struct EngineHarness {
    ScriptDir dir;
    FakeFrontend fe;
    Engine engine;

    // files: how the settings file reaches the disk.
    explicit EngineHarness(const FileCalls& files = SystemFileCalls()) : engine(fe, files) {
        fe.engine = &engine;
        engine.setProgramPath(dir.programPath());
    }

    // Runs code.txt (given as UTF-8) from its start label until nothing can wake it.
    void run(const std::string& script, std::vector<std::string> args = {}) {
        dir.write("code.txt", script);
        engine.setArguments(std::move(args));
        engine.LoadSettings();
        engine.StartScript();
        if (!engine.exiting()) engine.Shutdown();
    }

    // A variable as UTF-8: built-in, clock or dynamic.
    std::string var(const std::string& name) { return Cp932ToUtf8(engine.GetVariable(name, "")); }
    std::vector<std::string> messages() const { return fe.messagesUtf8(); }
    // The texts shown with `text`, UTF-8, without their mode.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& t : fe.texts) out.push_back(Cp932ToUtf8(t.substr(t.find('|') + 1)));
        return out;
    }
};

}  // namespace velmora::test
