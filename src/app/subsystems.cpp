// One member per subsystem that adds commands to the engine; each installs itself in
// its constructor and lives as long as the engine.
#include "app/subsystems.h"

#include "engine/engine.h"
#include "host/desktop_commands.h"
#include "window/display.h"

namespace velmora {

struct Subsystems::Parts {
    Parts(Engine& engine, Display& display) : desktop(engine) { (void)display; }

    DesktopCommands desktop;
};

Subsystems::Subsystems(Engine& engine, Display& display)
    : parts_(std::make_unique<Parts>(engine, display)) {}

Subsystems::~Subsystems() = default;

}  // namespace velmora
