// Windows virtual-key codes as X keysyms, so scripts written for Windows press the
// same keys here.
#pragma once

#include <cstdint>

namespace velmora {

// The keysym of the key with this virtual-key code, or 0 when X has no such key
// (mouse buttons, input-method controls, reserved codes).
unsigned long KeysymForVirtualKey(std::uint8_t code);

}  // namespace velmora
