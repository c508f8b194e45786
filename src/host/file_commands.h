// The `filein` and `fileout` commands: one text file to read and one to write, each
// kept open across script lines until closed or until the script stops.
#pragma once

#include "engine/engine.h"
#include "host/text_file.h"

namespace velmora {

class FileCommands : public EngineModule {
public:
    // Adds both commands and the stop hook to the engine; lives as long as the engine.
    explicit FileCommands(Engine& engine);

    void onStopScript() override;  // every stop closes both files

private:
    // The sub-command rows of `filein` and `fileout`.
    void inOpen(Engine& engine);
    void inRead(Engine& engine);
    void inReadSize(Engine& engine);
    void inClose(Engine& engine);
    void outOpen(Engine& engine);
    void outAppend(Engine& engine);
    void outWrite(Engine& engine);
    void outClose(Engine& engine);
    void openOutput(Engine& engine, TextOutput::Mode mode);

    TextInput input_;
    TextOutput output_;
};

}  // namespace velmora
