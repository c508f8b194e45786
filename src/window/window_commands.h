// The script commands that belong to the display window and work in either front end.
#pragma once

namespace velmora {

class Engine;

// Installs `background` (load a skin and reshape the window) into the engine's table.
class WindowCommands {
public:
    explicit WindowCommands(Engine& engine);
};

}  // namespace velmora
