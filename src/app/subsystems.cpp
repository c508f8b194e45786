// One member per subsystem that adds commands to the engine; each installs itself in
// its constructor and lives as long as the engine.
#include "app/subsystems.h"

#include <cstdlib>
#include <string>

#include "engine/engine.h"
#include "host/desktop_commands.h"
#include "host/file_commands.h"
#include "host/plugin_host.h"
#include "net/download/command.h"
#include "net/web/module.h"
#include "window/display.h"
#include "window/image_command.h"
#include "window/window_commands.h"

namespace velmora {

namespace {

// The web server listens on port 80. VELMORA_WEB_PORT moves it, so that tests and
// unprivileged users can run it beside other servers; "0" takes any free port, which
// tests find through the system's socket tables.
int WebPort() {
    const char* text = std::getenv("VELMORA_WEB_PORT");
    if (text && std::string(text) == "0") return 0;
    int port = text ? std::atoi(text) : 0;
    return port > 0 && port < 65536 ? port : WebModule::kDefaultPort;
}

}  // namespace

struct Subsystems::Parts {
    Parts(Engine& engine, Display& display)
        : window(engine),
          image(engine, display),
          files(engine),
          desktop(engine),
          plugins(engine),
          web(engine, WebPort()),
          download(engine) {}

    WindowCommands window;
    ImageCommand image;
    FileCommands files;
    DesktopCommands desktop;
    PluginHost plugins;
    WebModule web;
    DownloadModule download;
};

Subsystems::Subsystems(Engine& engine, Display& display)
    : parts_(std::make_unique<Parts>(engine, display)) {}

Subsystems::~Subsystems() = default;

}  // namespace velmora
