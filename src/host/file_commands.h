// The `filein` and `fileout` commands: one text file to read and one to write, each
// kept open across script lines until closed or until the script stops.
#pragma once

#include <vector>

#include "engine/engine.h"
#include "host/text_file.h"

namespace velmora {

class FileCommands : public EngineModule {
public:
    // Adds both commands and the stop hook to the engine; lives as long as the engine.
    explicit FileCommands(Engine& engine);

    void onStopScript() override;  // every stop closes both files

private:
    void inOpen(Engine& engine);
    void inRead(Engine& engine);
    void inReadSize(Engine& engine);
    void inClose(Engine& engine);
    void outOpen(Engine& engine);
    void outWrite(Engine& engine);
    void outClose(Engine& engine);

    // One sub-command: its lower-cased word, the parameters it needs in all (told to the
    // script checker; the handler checks them after its open-file test) and its handler.
    struct Action {
        const char* word;
        int minParams;
        void (FileCommands::*run)(Engine&);
    };
    using Actions = std::vector<Action>;
    static const Actions& InActions();
    static const Actions& OutActions();
    static std::vector<SubCommand> Describe(const Actions& actions);
    void dispatch(Engine& engine, const Actions& actions);

    TextInput input_;
    TextOutput output_;
};

}  // namespace velmora
