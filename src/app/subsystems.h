// Wires every subsystem's commands and hooks into one engine. Both front ends build
// one Subsystems object after the engine and the display exist.
#pragma once

#include <memory>

namespace velmora {

class Engine;
class Display;

class Subsystems {
public:
    Subsystems(Engine& engine, Display& display);
    ~Subsystems();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

}  // namespace velmora
