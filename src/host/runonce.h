// The start at the next log-on: an XDG autostart entry whose command first deletes
// the entry, then starts the program with its argument, so it runs exactly once.
#pragma once

#include <string>

namespace velmora {

// $XDG_CONFIG_HOME/autostart/oxquillet.desktop ($HOME/.config when unset).
std::string RunOnceEntryPath();

// The Exec value of the entry, quoted and escaped for a desktop file. argument
// (UTF-8) is left out when empty; home, when not empty, becomes VELMORA_HOME.
std::string RunOnceExec(const std::string& entryPath, const std::string& program,
                        const std::string& argument, const std::string& home);

// Writes (or replaces) the entry at path, creating its folder. False when it could
// not be written; an existing entry is then left as it was.
bool WriteRunOnceEntry(const std::string& path, const std::string& program,
                       const std::string& argument, const std::string& home);

}  // namespace velmora
