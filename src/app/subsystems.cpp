// One member per subsystem that adds commands to the engine; each installs itself in
// its constructor and lives as long as the engine.
#include "app/subsystems.h"

#include <cstdlib>

#include "engine/engine.h"
#include "net/web_module.h"
#include "window/display.h"

namespace velmora {

namespace {

// The web server listens on port 80. VELMORA_WEB_PORT moves it, so that tests and
// unprivileged users can run it beside other servers.
int WebPort() {
    const char* text = std::getenv("VELMORA_WEB_PORT");
    int port = text ? std::atoi(text) : 0;
    return port > 0 && port < 65536 ? port : WebModule::kDefaultPort;
}

}  // namespace

struct Subsystems::Parts {
    WebModule web;

    Parts(Engine& engine, Display& display) : web(engine, WebPort()) { (void)display; }
};

Subsystems::Subsystems(Engine& engine, Display& display)
    : parts_(std::make_unique<Parts>(engine, display)) {}

Subsystems::~Subsystems() = default;

}  // namespace velmora
