// `velmora --new DIR`: a ready-to-run script folder for a new author.
#pragma once

#include <string>

namespace velmora {

// Creates DIR (if needed) with code.txt, variable.txt, skin.bmp and a launcher run.sh
// that starts `executable` with DIR as its program folder. Refuses to overwrite any
// file; returns the exit status and writes what it did or why not to the streams.
int CreateStarterFolder(const std::string& dir, const std::string& executable);

// A 24-bit BMP file of the starter skin: a rounded panel on a magenta (transparent)
// ground, with a round hole, a restart button and a close button.
std::string StarterSkinBmp();

}  // namespace velmora
