// The `image` command: places JPEG pictures on the base layer and clears them again
// by restoring the skin, everywhere or in one rectangle.
#pragma once

namespace velmora {

class Display;
class Engine;

class ImageCommand {
public:
    // Adds the command to the engine's table; lives as long as the engine.
    ImageCommand(Engine& engine, Display& display);

private:
    // The modes of ShowImage, as rows of the `image` command.
    void clear(Engine& engine);
    void place(Engine& engine);

    Display& display_;
};

}  // namespace velmora
