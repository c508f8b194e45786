// Command rows of the display window.
#include "window/window_commands.h"

#include "engine/engine.h"
#include "engine/frontend.h"

namespace velmora {

WindowCommands::WindowCommands(Engine& engine) {
    engine.addCommands({
        // An empty name reloads the skin named by the `background` setting.
        {"background", 1, [](Engine& e) { e.frontend().loadSkin(e.line.p(1)); }},
    });
}

}  // namespace velmora
