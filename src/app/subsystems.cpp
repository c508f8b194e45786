// One member per subsystem that adds commands to the engine; each installs itself in
// its constructor and lives as long as the engine.
#include "app/subsystems.h"

#include "engine/engine.h"
#include "net/download_command.h"
#include "window/display.h"

namespace velmora {

struct Subsystems::Parts {
    Parts(Engine& engine, Display& display) : download(engine) { (void)display; }

    DownloadModule download;
};

Subsystems::Subsystems(Engine& engine, Display& display)
    : parts_(std::make_unique<Parts>(engine, display)) {}

Subsystems::~Subsystems() = default;

}  // namespace velmora
