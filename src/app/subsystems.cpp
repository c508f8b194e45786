// One member per subsystem that adds commands to the engine; each installs itself in
// its constructor and lives as long as the engine.
#include "app/subsystems.h"

#include "engine/engine.h"
#include "host/desktop_commands.h"
#include "host/file_commands.h"
#include "host/plugin_host.h"
#include "net/download_command.h"
#include "window/display.h"
#include "window/image_command.h"
#include "window/window_commands.h"

namespace velmora {

struct Subsystems::Parts {
    Parts(Engine& engine, Display& display)
        : window(engine), image(engine, display), files(engine), desktop(engine),
          plugins(engine), download(engine) {}

    WindowCommands window;
    ImageCommand image;
    FileCommands files;
    DesktopCommands desktop;
    PluginHost plugins;
    DownloadModule download;
};

Subsystems::Subsystems(Engine& engine, Display& display)
    : parts_(std::make_unique<Parts>(engine, display)) {}

Subsystems::~Subsystems() = default;

}  // namespace velmora
