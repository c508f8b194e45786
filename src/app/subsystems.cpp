// One member per subsystem that adds commands to the engine; each installs itself in
// its constructor and lives as long as the engine.
#include "app/subsystems.h"

#include "engine/engine.h"
#include "window/display.h"
#include "window/window_commands.h"

namespace velmora {

struct Subsystems::Parts {
    Parts(Engine& engine, Display& display) : window(engine) { (void)display; }

    WindowCommands window;
};

Subsystems::Subsystems(Engine& engine, Display& display)
    : parts_(std::make_unique<Parts>(engine, display)) {}

Subsystems::~Subsystems() = default;

}  // namespace velmora
